// The two relabelling entry points. An element of a hierarchical name stands
// on a page of the design unit named by the element above it (its parent);
// relabelling maps that page through the parent unit's page map and labels
// the element "page<mapped>" or "page<mapped>_<instance>". The page maps are
// reached through trelGetPageMapping only, so relabelling finds or creates
// them exactly as any other lookup by the host would.
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "api/guarded.h"
#include "api/lookup_hint.h"
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
using trel::UnitName;

namespace {

// Nothing can be copied into a missing buffer or one without room, and a
// missing source has nothing to copy back: such calls write nothing at all.
bool callIsUsable(const char *src, const char *out, int length) {
    return src != nullptr && out != nullptr && length > 0;
}

// Relabels `elem` under the page map of a parent unit whose names have
// been converted. A page without a pair, like any failed lookup, leaves the
// element's label as it was.
void relabelUnder(hqPathElem &elem, const ElementPage &at, const UnitName &parent,
                  std::string &label) {
    int mapped = 0;
    if (trelGetPageMapping(parent.lib, parent.cell, parent.view, at.page, &mapped) != TREL_OK)
        return;
    elem.setLabel(formatPageLabel(label, mapped, at.inst));
}

// Where a parent's converted names start in NameScratch::names.
struct ConvertedAt {
    size_t lib, cell, view;
    bool converted;
};

// What relabelling a whole name works in. The library is entered from one
// thread only, so one set serves every call, and a name costs no allocation
// once the buffers have grown to the deepest and longest name seen.
struct NameScratch {
    std::vector<hqPathElem *> elements;
    std::vector<ConvertedAt> convertedAt;  // for parents, until the names stop growing
    std::vector<UnitName> parents;         // elements[i]'s converted names, for elements[i + 1]
    std::string names;                     // the converted names, one after the other
    std::string label;
    ConvertedUnit unit;
};

NameScratch &nameScratch() {
    static auto *scratch = new NameScratch();
    return *scratch;
}

// Converts the names of every element that has a child. A parent whose names
// have no conversion (among them one that names no unit) gets a null library
// name and counts as a failed lookup. The texts are gathered in one buffer,
// so the returned units point into it only once it has stopped growing.
void convertParents(NameScratch &scratch) {
    const size_t parents = scratch.elements.size() - 1;
    scratch.parents.resize(parents);
    // The buffer only grows, and is written with memcpy: no byte is cleared
    // or counted twice.
    size_t used = 0;
    auto keep = [&scratch, &used](const char *text) {
        const size_t length = std::strlen(text) + 1;
        if (scratch.names.size() < used + length) scratch.names.resize(2 * (used + length));
        std::memcpy(&scratch.names[used], text, length);
        used += length;
        return used - length;
    };
    std::vector<ConvertedAt> &offsets = scratch.convertedAt;
    offsets.resize(parents);
    for (size_t i = 0; i < parents; ++i) {
        const hqPathElem &parent = *scratch.elements[i];
        ConvertedUnit &unit = scratch.unit;
        const char *view = convertUnitName(parent.view, unit.view);
        const char *cell = convertUnitName(parent.cell, unit.cell);
        const char *lib = convertUnitName(parent.lib, unit.lib);
        offsets[i].converted = false;
        if (view == nullptr || cell == nullptr || lib == nullptr) continue;
        offsets[i].converted = true;
        offsets[i].lib = keep(lib);
        offsets[i].cell = keep(cell);
        offsets[i].view = keep(view);
    }
    const char *base = scratch.names.data();
    for (size_t i = 0; i < parents; ++i) {
        scratch.parents[i] =
            offsets[i].converted
                ? UnitName{base + offsets[i].lib, base + offsets[i].cell, base + offsets[i].view}
                : UnitName{nullptr, nullptr, nullptr};
    }
}

int mappedCname(const char *src, char *out, int length) {
    if (!callIsUsable(src, out, length)) return TREL_BAD_CNAME;
    hqPath path(src);
    if (path.valid == 0) {
        copyOut(out, length, src);
        return TREL_BAD_CNAME;
    }
    NameScratch &scratch = nameScratch();
    scratch.elements.clear();
    for (hqPathElem *elem = path.parsePathElem(1); elem != nullptr; elem = path.parsePathElem(0))
        scratch.elements.push_back(elem);
    // The first element has no parent and keeps its label; every other one is
    // relabelled under the element before it. The lookups run in the order of
    // the elements, as one at a time would; the hint lets the parents' page
    // maps come in from memory side by side instead of one after the other.
    if (scratch.elements.size() > 1) {
        convertParents(scratch);
        trel::prefetchPageMappings(scratch.parents.data(), scratch.parents.size());
        for (size_t i = 0; i + 1 < scratch.elements.size(); ++i) {
            const UnitName &parent = scratch.parents[i];
            if (parent.lib == nullptr) continue;
            hqPathElem &child = *scratch.elements[i + 1];
            relabelUnder(child, readElementPage(child), parent, scratch.label);
        }
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
    elem->setLabel(formatPageLabel(label, mapped, at.inst));
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
