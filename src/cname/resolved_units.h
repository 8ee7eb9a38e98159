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

#include "api/page_lookup.h"
#include "maps/unit_name.h"

namespace trel {

// Whether two texts are equal. Unit and instance names are a few bytes
// long, too short for a library call to pay off, and relabelling compares
// several of them for every element.
inline bool sameText(const char *a, const char *b) {
    for (; *a == *b; ++a, ++b) {
        if (*a == '\0') return true;
    }
    return false;
}

// The three names joined, each ended by its NUL, in a buffer that only grows.
class SpelledUnit {
  public:
    void assign(const UnitName &unit);
    // Whether `unit`, all three names present, has these names.
    bool spells(const UnitName &unit) const {
        const char *names = names_.data();
        return size_ != 0 && sameText(names, unit.lib) && sameText(names + cellAt_, unit.cell) &&
               sameText(names + viewAt_, unit.view);
    }

  private:
    std::string names_;
    size_t size_ = 0;  // bytes of names_ in use
    size_t cellAt_ = 0;
    size_t viewAt_ = 0;
};

class ResolvedUnits {
  public:
    // The page map `unit` (all three names present) led to, or null.
    PageMap *find(const UnitName &unit);
    // Keeps the page map that `unit` led to, for the page maps' generation.
    void remember(const UnitName &unit, PageMap *map);

  private:
    struct Slot {
        uint64_t hash;
        PageMap *map;  // null: empty slot
        size_t at;     // where the names begin in names_
    };
    static uint64_t hash(const UnitName &unit);
    void forgetIfStale();
    void grow();

    std::vector<Slot> slots_;  // open addressing, a power of two, at most half full
    size_t count_ = 0;
    std::string names_;  // every kept unit's names, joined as SpelledUnit joins them
    size_t used_ = 0;    // bytes of names_ in use
    uint64_t generation_ = 0;
};

}  // namespace trel
