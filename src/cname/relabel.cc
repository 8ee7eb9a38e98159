// The two relabelling entry points. An element of a hierarchical name stands
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
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "api/guarded.h"
#include "api/page_lookup.h"
#include "cname/element_page.h"
#include "cname/output_copy.h"
#include "cname/relabel_shortcuts.h"
#include "cname/resolved_units.h"
#include "cname/unit_names.h"
#include "hq.h"
#include "trel.h"

using trel::ConvertedUnit;
using trel::convertUnitName;
using trel::copyOut;
using trel::ElementPage;
using trel::formatPageLabel;
using trel::PageMap;
using trel::readElementPage;
using trel::ResolvedUnits;
using trel::SpelledUnit;
using trel::UnitName;

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
// depth of the next name: its parent's page map, and the new label for the
// element's page and instance name. The buffers only grow.
struct ElementMemo {
    SpelledUnit parent;      // the parent's names, as spelled, that led to `map`
    PageMap *map = nullptr;  // null: the parent is resolved again
    bool labelKnown = false;
    int page = 0;
    bool hasInst = false;
    std::string inst;
    int status = TREL_OK;  // of the lookup; TREL_OK: `label` holds the new label
    std::string label;

    void forgetParent() {
        map = nullptr;
        labelKnown = false;
    }
    bool labelFits(const ElementPage &at) const {
        return labelKnown && page == at.page &&
               (at.inst == nullptr ? !hasInst : hasInst && trel::sameText(inst.c_str(), at.inst));
    }
    // Looks the page up and keeps the answer.
    void relabel(const ElementPage &at) {
        int mapped = 0;
        status = trel::mappedPage(*map, at.page, &mapped);
        if (status == TREL_OK) formatPageLabel(label, mapped, at.inst);
        page = at.page;
        hasInst = at.inst != nullptr;
        if (hasInst) inst.assign(at.inst);
        labelKnown = true;
    }
};

// What relabelling works in and keeps. The library is entered from one thread
// only, so one set serves every call, and a name costs no allocation once the
// buffers have grown to the deepest and longest name seen.
struct Relabelling {
    std::vector<hqPathElem *> elements;
    std::vector<ElementPage> pages;       // elements[i]'s page, when it is looked up
    std::vector<const PageMap *> toLook;  // the page maps about to be searched
    std::vector<size_t> toLookAt;         // for which elements
    std::string label;
    ConvertedUnit unit;

    ResolvedUnits units;
    std::vector<ElementMemo> depths;  // depths[i]: elements[i] under elements[i - 1]
    ElementMemo last;                 // the last-element variant's one element
    uint64_t mapsGeneration = 0;
    uint64_t pairsGeneration = 0;

    // Forgets what the page maps' changes since the last call may have made
    // stale: after a reset every page map, after any change of pairs the labels.
    void refresh() {
        const uint64_t maps = trel::pageMapsGeneration();
        const uint64_t pairs = trel::pairsGeneration();
        if (maps == mapsGeneration && pairs == pairsGeneration) return;
        for (ElementMemo &memo : depths) {
            if (maps != mapsGeneration) memo.map = nullptr;
            memo.labelKnown = false;
        }
        if (maps != mapsGeneration) last.map = nullptr;
        last.labelKnown = false;
        mapsGeneration = maps;
        pairsGeneration = pairs;
    }
};

Relabelling &relabelling() {
    static auto *state = new Relabelling();
    return *state;
}

// The page map of the unit an element names, under its names converted by
// the name mapper, found or created as trelGetPageMapping does. Null when a
// name has no conversion (among them an element that names no unit) or the
// lookup fails, which reports as trelGetPageMapping reports.
PageMap *convertedUnitMap(const UnitName &spelled, ConvertedUnit &unit) {
    const char *view = convertUnitName(spelled.view, unit.view);
    const char *cell = convertUnitName(spelled.cell, unit.cell);
    const char *lib = convertUnitName(spelled.lib, unit.lib);
    if (view == nullptr || cell == nullptr || lib == nullptr) return nullptr;
    return trel::unitPageMap({lib, cell, view});
}

// Keeps a unit's page map under its spelling; only when its library name
// converted to a text that is not empty, so that a unit found there never
// needs the last-element variant's test of that name again.
void remember(ResolvedUnits &units, const UnitName &spelled, const char *lib, PageMap *map) {
    if (lib[0] != '\0') units.remember(spelled, map);
}

// Every element after the first, from scratch: its parent's names converted
// and the page looked up as trelGetPageMapping looks it up. A failed lookup
// leaves the element's label as it was.
void relabelAfresh(Relabelling &state) {
    for (size_t i = 1; i < state.elements.size(); ++i) {
        PageMap *map = convertedUnitMap(spelledUnit(*state.elements[i - 1]), state.unit);
        if (map == nullptr) continue;
        hqPathElem &child = *state.elements[i];
        const ElementPage at = readElementPage(child);
        int mapped = 0;
        if (trel::mappedPage(*map, at.page, &mapped) == TREL_OK)
            child.setLabel(formatPageLabel(state.label, mapped, at.inst));
    }
}

// The same answers, reusing what the names before resolved. The parents are
// resolved in the order of the elements, as one lookup at a time would find
// or create their page maps. An element whose label is known is relabelled
// at once; the page maps of the others come in from memory side by side
// before their pages are looked up.
//
// The labels are texts of the memo, which outlive the path: the elements
// point at them rather than copy them.
void relabelReusing(Relabelling &state) {
    const size_t count = state.elements.size();
    if (state.depths.size() < count) state.depths.resize(count);
    if (state.pages.size() < count) state.pages.resize(count);
    state.toLook.clear();
    state.toLookAt.clear();
    for (size_t i = 1; i < count; ++i) {
        ElementMemo &memo = state.depths[i];
        const UnitName parent = spelledUnit(*state.elements[i - 1]);
        if (!parent.complete()) {
            memo.forgetParent();
            continue;
        }
        if (memo.map == nullptr || !memo.parent.spells(parent)) {
            memo.forgetParent();
            PageMap *map = state.units.find(parent);
            if (map == nullptr) {
                map = convertedUnitMap(parent, state.unit);
                if (map == nullptr) continue;
                remember(state.units, parent, state.unit.lib, map);
            }
            memo.map = map;
            memo.parent.assign(parent);
        }
        hqPathElem &child = *state.elements[i];
        const ElementPage at = readElementPage(child);
        if (memo.labelFits(at)) {
            if (memo.status == TREL_OK) child.label = memo.label.c_str();
        } else {
            state.pages[i] = at;
            state.toLook.push_back(memo.map);
            state.toLookAt.push_back(i);
        }
    }
    if (trel::relabelShortcuts().prefetch && state.toLook.size() > 1)
        trel::prefetchPairs(state.toLook.data(), state.toLook.size());
    for (size_t i : state.toLookAt) {
        ElementMemo &memo = state.depths[i];
        memo.relabel(state.pages[i]);
        if (memo.status == TREL_OK) state.elements[i]->label = memo.label.c_str();
    }
}

int mappedCname(const char *src, char *out, int length) {
    if (!callIsUsable(src, out, length)) return TREL_BAD_CNAME;
    hqPath path(src);
    if (path.valid == 0) {
        copyOut(out, length, src);
        return TREL_BAD_CNAME;
    }
    Relabelling &state = relabelling();
    state.elements.clear();
    for (hqPathElem *elem = path.parsePathElem(1); elem != nullptr; elem = path.parsePathElem(0))
        state.elements.push_back(elem);
    // The first element has no parent and keeps its label.
    if (state.elements.size() > 1) {
        if (trel::relabelShortcuts().reuse) {
            state.refresh();
            relabelReusing(state);
        } else {
            relabelAfresh(state);
        }
    }
    copyOut(out, length, path);
    return TREL_OK;
}

// The parent's page map for the last-element variant, from the units resolved
// before or under its converted names; null with the status to return, and
// whether the source text goes out with it.
PageMap *lastParentMap(Relabelling &state, const UnitName &parent, bool reuse, int *status,
                       bool *copySource) {
    if (reuse && parent.complete()) {
        if (PageMap *map = state.units.find(parent)) return map;
    }
    // A library name without conversion ends the call before anything is
    // written, so the host's buffer keeps what it held.
    ConvertedUnit &unit = state.unit;
    const char *lib = convertUnitName(parent.lib, unit.lib);
    *status = TREL_BAD_CNAME;
    *copySource = false;
    if (lib == nullptr || lib[0] == '\0') return nullptr;
    const char *view = convertUnitName(parent.view, unit.view);
    const char *cell = convertUnitName(parent.cell, unit.cell);
    *copySource = true;
    if (view == nullptr || cell == nullptr) return nullptr;
    PageMap *map = trel::unitPageMap({lib, cell, view});
    *status = TREL_BAD_SPEC;
    if (map != nullptr && reuse) remember(state.units, parent, lib, map);
    return map;
}

int mappedCnameLastPathElem(const char *src, char *out, int length) {
    if (!callIsUsable(src, out, length)) return TREL_BAD_CNAME;
    hqPath path(src);
    hqPathElem *elem = path.valid != 0 ? path.breakPath() : nullptr;
    const hqPathElem *parentElem = path.lastPathElem();
    if (elem == nullptr || parentElem == nullptr) {
        copyOut(out, length, src);
        return TREL_BAD_CNAME;
    }
    const ElementPage at = readElementPage(*elem);
    const UnitName parent = spelledUnit(*parentElem);

    // Without reuse the memo holds this call's answer only.
    Relabelling &state = relabelling();
    const bool reuse = trel::relabelShortcuts().reuse;
    if (reuse) state.refresh();
    ElementMemo &memo = state.last;
    if (!reuse || memo.map == nullptr || !parent.complete() || !memo.parent.spells(parent)) {
        memo.forgetParent();
        int status = TREL_OK;
        bool copySource = true;
        PageMap *map = lastParentMap(state, parent, reuse, &status, &copySource);
        if (map == nullptr) {
            if (copySource) copyOut(out, length, src);
            return status;
        }
        memo.map = map;
        memo.parent.assign(parent);
    }
    if (!memo.labelFits(at)) memo.relabel(at);
    if (memo.status != TREL_OK) {
        copyOut(out, length, src);
        return memo.status;
    }
    // The element keeps its own copy of the label, so nothing outlives the
    // call but what the path releases with itself.
    elem->setLabel(memo.label.c_str());
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
