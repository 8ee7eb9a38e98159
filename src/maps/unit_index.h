// The registry's one index: a hash from a unit's three names to its
// registered page map. A unit named before is found with one probe and a
// comparison against the names its page map holds, without building its key
// text. Units are entered when they are registered and forgotten all at once
// on reset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "maps/page_map.h"
#include "maps/unit_name.h"

namespace trel {

class UnitIndex {
  public:
    // The hash of a unit with all three names present.
    static uint64_t hash(const UnitName &unit);

    PageMap *find(const UnitName &unit, uint64_t hash) const;
    void insert(PageMap *map, uint64_t hash);
    void clear();

  private:
    struct Slot {
        uint64_t hash;
        PageMap *map;  // null: empty slot
        // Where the map's lookups start reading; fetched together with the
        // map itself, so the three cache misses overlap instead of queueing.
        const void *record;
        const void *header;
    };
    void grow();

    std::vector<Slot> slots_;  // open addressing, a power of two, at most half full
    size_t count_ = 0;
};

}  // namespace trel
