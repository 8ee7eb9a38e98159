// The two relabelling entry points. An element of a hierarchical name stands
// on a page of the design unit named by the element above it (its parent);
// relabelling maps that page through the parent unit's page map and labels
// the element "page<mapped>" or "page<mapped>_<instance>". The page maps are
// reached through trelGetPageMapping only, so relabelling finds or creates
// them exactly as any other lookup by the host would.
#include <string>

#include "api/guarded.h"
#include "cname/element_page.h"
#include "cname/output_copy.h"
#include "cname/unit_names.h"
#include "hq.h"
#include "trel.h"

using trel::ConvertedUnit;
using trel::convertUnitName;
using trel::copyOut;
using trel::ElementPage;
using trel::formatPageLabel;
using trel::readElementPage;

namespace {

// Nothing can be copied into a missing buffer or one without room, and a
// missing source has nothing to copy back: such calls write nothing at all.
bool callIsUsable(const char *src, const char *out, int length) {
    return src != nullptr && out != nullptr && length > 0;
}

// Relabels `elem` after the page map of `parent`'s design unit. A parent
// whose names have no conversion (among them a parent that names no unit)
// counts as a failed lookup, and so does a page without a pair: the element
// keeps its label.
void relabelUnderParent(hqPathElem &elem, const hqPathElem &parent, ConvertedUnit &unit,
                        std::string &label) {
    const ElementPage at = readElementPage(elem);
    const char *view = convertUnitName(parent.view, unit.view);
    const char *cell = convertUnitName(parent.cell, unit.cell);
    const char *lib = convertUnitName(parent.lib, unit.lib);
    if (view == nullptr || cell == nullptr || lib == nullptr) return;
    int mapped = 0;
    if (trelGetPageMapping(lib, cell, view, at.page, &mapped) != TREL_OK) return;
    formatPageLabel(label, mapped, at.inst);
    elem.setLabel(label.c_str());
}

int mappedCname(const char *src, char *out, int length) {
    if (!callIsUsable(src, out, length)) return TREL_BAD_CNAME;
    hqPath path(src);
    if (path.valid == 0) {
        copyOut(out, length, src);
        return TREL_BAD_CNAME;
    }
    ConvertedUnit unit;
    std::string label;
    // The first element has no parent and keeps its label.
    const hqPathElem *previous = path.parsePathElem(1);
    for (hqPathElem *current = path.parsePathElem(0); current != nullptr;
         current = path.parsePathElem(0)) {
        if (previous != nullptr) relabelUnderParent(*current, *previous, unit, label);
        previous = current;
    }
    copyOut(out, length, path);
    return TREL_OK;
}

int mappedCnameLastPathElem(const char *src, char *out, int length) {
    if (!callIsUsable(src, out, length)) return TREL_BAD_CNAME;
    hqPath path(src);
    hqPathElem *elem = path.valid != 0 ? path.breakPath() : nullptr;
    const hqPathElem *parent = path.lastPathElem();
    if (elem == nullptr || parent == nullptr) {
        copyOut(out, length, src);
        return TREL_BAD_CNAME;
    }
    const ElementPage at = readElementPage(*elem);

    // A library name without conversion ends the call before anything is
    // written, so the host's buffer keeps what it held.
    ConvertedUnit unit;
    const char *lib = convertUnitName(parent->lib, unit.lib);
    if (lib == nullptr || lib[0] == '\0') return TREL_BAD_CNAME;
    const char *view = convertUnitName(parent->view, unit.view);
    const char *cell = convertUnitName(parent->cell, unit.cell);
    if (view == nullptr || cell == nullptr) {
        copyOut(out, length, src);
        return TREL_BAD_CNAME;
    }

    int mapped = 0;
    const int status = trelGetPageMapping(lib, cell, view, at.page, &mapped);
    if (status != TREL_OK) {
        copyOut(out, length, src);
        return status;
    }
    // The element keeps its own copy of the label, so nothing outlives the
    // call but what the path releases with itself.
    std::string label;
    formatPageLabel(label, mapped, at.inst);
    elem->setLabel(label.c_str());
    path.appendPath(elem);
    copyOut(out, length, path);
    return TREL_OK;
}

}  // namespace

extern "C" {

int trelGetMappedCname(const char *src, char *out, int length) {
    return trel::guarded([&] { return mappedCname(src, out, length); });
}

int trelGetMapeedCnameLastPathElem(const char *src, char *out, int length) {
    return trel::guarded([&] { return mappedCnameLastPathElem(src, out, length); });
}

}  // extern "C"
