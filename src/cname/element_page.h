// What relabelling reads from an element and what it writes back: the page
// the element stands on, and the label that names that page once mapped.
#pragma once

#include <string>

#include "hq.h"

namespace trel {

struct ElementPage {
    int page;          // 0 when the element has none
    const char *inst;  // the instance name, or null
};

// The element's page and instance name. An element without a page whose label
// begins with "page" (page12, or page5_U1 from an earlier relabelling) stands
// on the page whose number follows those four letters, read as "%d" reads it
// (0 when no number in the range of int follows), and has no instance name.
ElementPage readElementPage(const hqPathElem &elem);

// Formats "page<mapped>_<inst>", or "page<mapped>" without an instance name,
// into `label` and returns the NUL-terminated text, which lies in `label`.
// The string is used as a buffer that only grows: a caller that keeps one for
// every call allocates only for a label longer than any before, and no
// instance name is ever cut short.
const char *formatPageLabel(std::string &label, int mapped, const char *inst);

}  // namespace trel
