// What relabelling reads from an element and what it writes back: the page
// the element stands on, and the label that names that page once mapped.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

#include "cname/same_text.h"
#include "hq.h"

namespace trel {

struct ElementPage {
    int page;          // 0 when the element has none
    const char *inst;  // the instance name, or null
};

// Labels that name a page begin with these letters.
constexpr char kPagePrefix[] = "page";

// The page of an element without one whose label begins with "page": the
// number that follows those four letters, read as "%d" reads it (0 when no
// number in the range of int follows).
int pageOfLabel(const char *label);

// The element's page and instance name. An element without a page whose label
// begins with "page" (page12, or page5_U1 from an earlier relabelling) stands
// on the page its label names and has no instance name. Inline, as it is read
// for every element of every name.
inline ElementPage readElementPage(const hqPathElem &elem) {
    const char *label = elem.label;
    if (elem.page() == 0 && label != nullptr &&
        std::strncmp(label, kPagePrefix, sizeof kPagePrefix - 1) == 0) {
        return {pageOfLabel(label), nullptr};
    }
    return {elem.page(), elem.inst()};
}

// Formats "page<mapped>_<inst>", or "page<mapped>" without an instance name,
// into `label` and returns the NUL-terminated text, which lies in `label`.
// The string is used as a buffer that only grows: a caller that keeps one for
// every call allocates only for a label longer than any before, and no
// instance name is ever cut short.
const char *formatPageLabel(std::string &label, int mapped, const char *inst);

// The two parts of that label, for a caller that keeps it while only the
// instance name changes, as for the instances on one page: "page<mapped>" at
// the start of `label`, returning its length, then "_<inst>" (or nothing)
// from `at` on. labelHasInstance tells whether the part from `at` on is the
// one formatInstance would write.
size_t formatMappedPage(std::string &label, int mapped);
void formatInstance(std::string &label, size_t at, const char *inst);
inline bool labelHasInstance(const std::string &label, size_t at, const char *inst) {
    const char *tail = label.c_str() + at;
    if (inst == nullptr) return *tail == '\0';
    return *tail == '_' && sameText(tail + 1, inst);
}

}  // namespace trel
