// Relabelling, behind the two relabelling entry points. An element of a hierarchical name stands
// on a page of the design unit named by the element above it (its parent);
// relabelling maps that page through the parent unit's page map and labels
// the element "page<mapped>" or "page<mapped>_<instance>". The page maps are
// found exactly as trelGetPageMapping finds them, so relabelling finds or
// creates them as any other lookup by the host would.
//
// Hosts relabel every instance name of a design in hierarchy order, so
// consecutive names share all but their last elements and the same parent
// units recur. Each call therefore keeps what it resolved for the next: per
// depth, the parent unit's page map and the label its element came to. A
// name is then compared with the one before element by element, and only
// what differs is converted and looked up. What is kept stands while the page
// maps and their pairs do (pageMapsGeneration, pairsGeneration); failures are
// never kept, so they are tried again, and report again, on every call.
#include "cname/relabel.h"

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "cname/element_page.h"
#include "cname/output_copy.h"
#include "cname/parent_units.h"
#include "cname/relabel_shortcuts.h"
#include "cname/resolved_units.h"
#include "cname/unit_name_conversion.h"
#include "hq.h"
#include "maps/page_lookup.h"
#include "trel.h"

using trel::ConvertedUnit;
using trel::convertParentNames;
using trel::copyOut;
using trel::ElementPage;
using trel::formatPageLabel;
using trel::PageMap;
using trel::ParentNames;
using trel::readElementPage;
using trel::ResolvedUnit;
using trel::ResolvedUnits;
using trel::UnitName;
using trel::UnitSpelling;
using trel::UnknownUnitReport;

namespace trel {

RelabelShortcuts &relabelShortcuts() {
    static RelabelShortcuts shortcuts;
    return shortcuts;
}

}  // namespace trel

namespace {

// Nothing can be copied into a missing buffer or one without room, and a
// missing source has nothing to copy back: such calls write nothing at all.
bool callIsUsable(const char *src, const char *out, int length) {
    return src != nullptr && out != nullptr && length > 0;
}

UnitName spelledUnit(const hqPathElem &elem) {
    return {elem.lib, elem.cell, elem.view};
}

// What relabelling one element came to, kept for the element at the same
// depth of the next name: its parent unit, and the element's page with its
// lookup's answer and new label. The label's instance part is rewritten for
// each instance on the same page; the buffer only grows.
struct ElementMemo {
    ResolvedUnit parent;  // a null page map: the parent is resolved again
    bool pageKnown = false;
    int page = 0;
    int status = TREL_OK;  // of the lookup; TREL_OK: `label` starts "page<mapped>"
    size_t instanceAt = 0;
    std::string label;

    void forget() {
        parent.map = nullptr;
        pageKnown = false;
    }
    bool needsLookup(const ElementPage &at) const { return !pageKnown || page != at.page; }
    // The element's new label, or null when the lookup failed (see status).
    const char *labelFor(const ElementPage &at) {
        if (needsLookup(at)) {
            int mapped = 0;
            status = trel::mappedPage(*parent.map, at.page, &mapped);
            page = at.page;
            pageKnown = true;
            if (status != TREL_OK) return nullptr;
            instanceAt = trel::formatMappedPage(label, mapped);
            trel::formatInstance(label, instanceAt, at.inst);
        } else if (status != TREL_OK) {
            return nullptr;
        } else if (!trel::labelHasInstance(label, instanceAt, at.inst)) {
            trel::formatInstance(label, instanceAt, at.inst);
        }
        return label.c_str();
    }
};

// A parent unit the memo did not hold, to be found among the units resolved
// before.
struct ToFind {
    size_t element;  // whose parent it is
    UnitSpelling spelling;
    ResolvedUnit found;
};

// What relabelling works in and keeps. The library is entered from one thread
// only, so one set serves every call, and a name costs no allocation once the
// buffers have grown to the deepest and longest name seen.
struct Relabelling {
    std::vector<hqPathElem *> elements;
    std::vector<ToFind> toFind;          // parents the memo does not hold
    std::vector<const PageMap *> found;  // their page maps, found among those resolved
    std::string label;
    ConvertedUnit unit;

    ResolvedUnits units;
    std::vector<ElementMemo> depths;            // depths[i]: elements[i] under elements[i - 1]
    ElementMemo last;                           // the last-element variant's one element
    UnknownUnitReport reportUnknown = nullptr;  // the current call's
    uint64_t mapsGeneration = 0;
    uint64_t pairsGeneration = 0;

    // Forgets what the page maps' changes since the last call may have made
    // stale: after a reset every page map, after any change of pairs the
    // lookups' answers.
    void refresh() {
        const uint64_t maps = trel::pageMapsGeneration();
        const uint64_t pairs = trel::pairsGeneration();
        if (maps == mapsGeneration && pairs == pairsGeneration) return;
        const bool mapsWent = maps != mapsGeneration;
        auto stale = [mapsWent](ElementMemo &memo) {
            if (mapsWent) memo.parent.map = nullptr;
            memo.pageKnown = false;
        };
        for (ElementMemo &memo : depths)
            stale(memo);
        stale(last);
        mapsGeneration = maps;
        pairsGeneration = pairs;
    }
};

Relabelling &relabelling() {
    static auto *state = new Relabelling();
    return *state;
}

// The unit's page map, found or created as trelGetPageMapping does; null
// after handing the unit to the call's report of unknown units.
PageMap *unitMapOrReport(Relabelling &state, const UnitName &unit) {
    PageMap *map = trel::unitPageMap(unit);
    if (map == nullptr) state.reportUnknown(unit);
    return map;
}

// The page map of the unit an element names, under its names converted by
// the name mapper, found or created as trelGetPageMapping does. Null when a
// name has no conversion (among them an element that names no unit) or the
// lookup fails, which reports as trelGetPageMapping reports.
PageMap *convertedUnitMap(Relabelling &state, const UnitName &spelled) {
    UnitName converted;
    if (convertParentNames(spelled, false, state.unit, &converted) != ParentNames::converted)
        return nullptr;
    return unitMapOrReport(state, converted);
}

// The parent unit resolved now, in the order of the elements: found before
// (or by an element before this one), else through its converted names and
// kept. False when it has no page map.
bool resolveNow(Relabelling &state, ToFind &parent) {
    if (parent.found.map == nullptr) parent.found = state.units.find(parent.spelling);
    if (parent.found.map == nullptr) {
        PageMap *map = convertedUnitMap(state, parent.spelling.unit);
        if (map == nullptr) return false;
        parent.found = state.units.remember(parent.spelling, map, state.unit.lib[0] == '\0');
    }
    return true;
}

// The same answers, reusing what the names before resolved. First the parents
// the memo does not hold are looked for among the units resolved before, all
// of them side by side, and the page maps found start coming in from memory
// side by side too. Then the parents are resolved in the order of the
// elements, as one lookup at a time would find or create their page maps,
// and each element gets the label its page maps to.
//
// The labels are texts of the memo, which outlive the path: the elements
// point at them rather than copy them.
void relabelReusing(Relabelling &state) {
    const bool prefetch = trel::relabelShortcuts().prefetch;
    const size_t count = state.elements.size();
    if (state.depths.size() < count) state.depths.resize(count);
    state.toFind.clear();
    for (size_t i = 1; i < count; ++i) {
        ElementMemo &memo = state.depths[i];
        const UnitName parent = spelledUnit(*state.elements[i - 1]);
        if (parent.complete() && memo.parent.map != nullptr &&
            state.units.spells(memo.parent, parent)) {
            continue;
        }
        memo.forget();
        if (!parent.complete()) continue;
        state.toFind.push_back({i, UnitSpelling(parent), {}});
        if (prefetch) state.units.prefetch(state.toFind.back().spelling);
    }
    state.found.clear();
    for (ToFind &parent : state.toFind) {
        parent.found = state.units.find(parent.spelling);
        if (parent.found.map != nullptr) state.found.push_back(parent.found.map);
    }
    if (prefetch && state.found.size() > 1)
        trel::prefetchPairs(state.found.data(), state.found.size());

    ToFind *next = state.toFind.data();
    ToFind *const end = next + state.toFind.size();
    for (size_t i = 1; i < count; ++i) {
        ElementMemo &memo = state.depths[i];
        if (next != end && next->element == i) {
            ToFind &parent = *next++;
            if (!resolveNow(state, parent)) continue;
            memo.parent = parent.found;
        }
        if (memo.parent.map == nullptr) continue;
        hqPathElem &child = *state.elements[i];
        if (const char *label = memo.labelFor(readElementPage(child))) child.label = label;
    }
}

int mappedCname(const char *src, char *out, int length, UnknownUnitReport reportUnknown) {
    if (!callIsUsable(src, out, length)) return TREL_BAD_CNAME;
    hqPath path(src);
    if (path.valid == 0) {
        copyOut(out, length, src);
        return TREL_BAD_CNAME;
    }
    Relabelling &state = relabelling();
    state.reportUnknown = reportUnknown;
    state.elements.clear();
    for (hqPathElem *elem = path.parsePathElem(1); elem != nullptr; elem = path.parsePathElem(0))
        state.elements.push_back(elem);
    // The first element has no parent and keeps its label.
    if (state.elements.size() > 1) {
        state.refresh();
        relabelReusing(state);
    }
    copyOut(out, length, path);
    return TREL_OK;
}

// What the last-element variant answers when it does not relabel.
struct Refusal {
    int status;
    bool copySource;  // false: the host's buffer keeps what it held
};

// The parent's page map for the last-element variant, under the parent's
// converted names; null with the refusal. A library name without conversion
// ends the call before anything is written.
PageMap *lastParentMapAfresh(Relabelling &state, const UnitName &parent, Refusal *refusal) {
    UnitName converted;
    switch (convertParentNames(parent, true, state.unit, &converted)) {
        case ParentNames::noLibrary:
            *refusal = {TREL_BAD_CNAME, false};
            return nullptr;
        case ParentNames::noConversion:
            *refusal = {TREL_BAD_CNAME, true};
            return nullptr;
        case ParentNames::converted:
            break;
    }
    *refusal = {TREL_BAD_SPEC, true};
    return unitMapOrReport(state, converted);
}

// The new label of the last element, or null with the refusal.
const char *lastLabelAfresh(Relabelling &state, const UnitName &parent, const ElementPage &at,
                            Refusal *refusal) {
    PageMap *map = lastParentMapAfresh(state, parent, refusal);
    if (map == nullptr) return nullptr;
    int mapped = 0;
    const int status = trel::mappedPage(*map, at.page, &mapped);
    if (status != TREL_OK) {
        *refusal = {status, true};
        return nullptr;
    }
    return formatPageLabel(state.label, mapped, at.inst);
}

// The same, reusing what the calls before resolved.
const char *lastLabelReusing(Relabelling &state, const UnitName &parent, const ElementPage &at,
                             Refusal *refusal) {
    ElementMemo &memo = state.last;
    if (!parent.complete()) {
        memo.forget();
        return lastLabelAfresh(state, parent, at, refusal);
    }
    if (memo.parent.map == nullptr || !state.units.spells(memo.parent, parent)) {
        memo.forget();
        const UnitSpelling spelling(parent);
        ResolvedUnit unit = state.units.find(spelling);
        if (unit.map == nullptr) {
            PageMap *map = lastParentMapAfresh(state, parent, refusal);
            if (map == nullptr) return nullptr;
            unit = state.units.remember(spelling, map, false);
        }
        if (unit.libConvertsToEmpty) {
            *refusal = {TREL_BAD_CNAME, false};
            return nullptr;
        }
        memo.parent = unit;
    }
    const char *label = memo.labelFor(at);
    if (label == nullptr) *refusal = {memo.status, true};
    return label;
}

int mappedCnameLastPathElem(const char *src, char *out, int length,
                            UnknownUnitReport reportUnknown) {
    if (!callIsUsable(src, out, length)) return TREL_BAD_CNAME;
    hqPath path(src);
    hqPathElem *elem = path.valid != 0 ? path.breakPath() : nullptr;
    const hqPathElem *parent = path.lastPathElem();
    if (elem == nullptr || parent == nullptr) {
        copyOut(out, length, src);
        return TREL_BAD_CNAME;
    }
    const ElementPage at = readElementPage(*elem);

    Relabelling &state = relabelling();
    state.reportUnknown = reportUnknown;
    Refusal refusal{TREL_OK, true};
    state.refresh();
    const char *label = lastLabelReusing(state, spelledUnit(*parent), at, &refusal);
    if (label == nullptr) {
        if (refusal.copySource) copyOut(out, length, src);
        return refusal.status;
    }
    // The label is a text of the library's own that outlives the path.
    elem->label = label;
    path.appendPath(elem);
    copyOut(out, length, path);
    return TREL_OK;
}

}  // namespace

namespace trel {

int relabelName(const char *src, char *out, int length, UnknownUnitReport reportUnknown) {
    return mappedCname(src, out, length, reportUnknown);
}

int relabelLastElement(const char *src, char *out, int length, UnknownUnitReport reportUnknown) {
    return mappedCnameLastPathElem(src, out, length, reportUnknown);
}

}  // namespace trel
