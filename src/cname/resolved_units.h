// The page maps of the design units that relabelling has already resolved,
// found by the unit's names as a hierarchical name spells them, before any
// conversion. Relabelling names the same units over and over; each is
// converted and looked up in the registry once, and found here afterwards
// with one hash probe.
//
// The name mapper's conversion depends on the name alone, so a spelling
// stands for the same converted names for ever; the page map it led to stands
// until the page maps go (pageMapsGeneration), when everything kept here is
// forgotten. Only units that were found or created are kept: a unit the
// library-path service did not know is asked for again on every use, as it
// may be defined meanwhile and its failure carries a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cname/same_text.h"
#include "maps/page_lookup.h"
#include "maps/unit_name.h"
#include "util/probe_table.h"

namespace trel {

// A unit as a name spells it, all three names present, measured once: the
// lengths of its names and a hash of them.
struct UnitSpelling {
    explicit UnitSpelling(const UnitName &unit);

    UnitName unit;
    size_t lib, cell, view;  // lengths
    uint64_t hash;

    // The names joined, each ended by its NUL.
    size_t joinedSize() const { return lib + cell + view + 3; }
    void join(char *out) const;
    bool isJoinedAt(const char *joined) const;
};

// A unit found or kept in ResolvedUnits: its page map and where its joined
// names lie there. It stands as long as the page map does.
struct ResolvedUnit {
    PageMap *map = nullptr;  // null: none
    size_t at = 0;
    size_t cellAt = 0;  // from `at`
    size_t viewAt = 0;
    // The library name converts to the empty text, which the last-element
    // variant refuses.
    bool libConvertsToEmpty = false;
};

class ResolvedUnits {
  public:
    // Starts fetching from memory where find() begins, for a caller about to
    // find several units. Changes nothing.
    void prefetch(const UnitSpelling &spelling) const {
        if (const Slot *start = slots_.start(spelling.hash)) __builtin_prefetch(start);
    }
    // The unit, with a null page map when it was not resolved before.
    ResolvedUnit find(const UnitSpelling &spelling);
    // Keeps the page map that the unit led to, for the page maps' generation.
    ResolvedUnit remember(const UnitSpelling &spelling, PageMap *map, bool libConvertsToEmpty);
    // Whether `unit`, all three names present, is spelled as `resolved` is.
    bool spells(const ResolvedUnit &resolved, const UnitName &unit) const {
        const char *names = names_.data() + resolved.at;
        return sameText(names, unit.lib) && sameText(names + resolved.cellAt, unit.cell) &&
               sameText(names + resolved.viewAt, unit.view);
    }

  private:
    struct Slot {
        uint64_t spellingHash = 0;
        ResolvedUnit unit;  // a null page map: empty slot

        bool empty() const { return unit.map == nullptr; }
        uint64_t hash() const { return spellingHash; }
    };
    void forgetIfStale();

    ProbeTable<Slot> slots_;
    std::string names_;  // every kept unit's joined names, one after the other
    size_t used_ = 0;    // bytes of names_ in use
    uint64_t generation_ = 0;
};

}  // namespace trel
