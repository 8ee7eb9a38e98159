// The registry's one index: a hash from a unit's three names to its
// registered page map. A unit named before is found with one probe and a
// comparison against the names its page map holds, without building its key
// text. Units are entered when they are registered and forgotten all at once
// on reset.
#pragma once

#include <cstddef>
#include <cstdint>

#include "maps/page_map.h"
#include "maps/unit_name.h"
#include "util/probe_table.h"

namespace trel {

class UnitIndex {
  public:
    // The hash of a unit with all three names present.
    static uint64_t hash(const UnitName &unit);

    PageMap *find(const UnitName &unit, uint64_t hash) const;
    void insert(PageMap *map, uint64_t hash);
    void clear();

  private:
    // Two words a slot, at most half of them in use: the index costs a unit
    // a few words. The low half of the hash tells units apart before their
    // names are compared and places them again when the index grows.
    struct Slot {
        PageMap *map = nullptr;  // null: empty slot
        uint32_t low = 0;        // the hash's low half

        bool empty() const { return map == nullptr; }
        uint64_t hash() const { return low; }
    };

    ProbeTable<Slot> slots_;
};

}  // namespace trel
