// The registry: one page map per design unit, created on first use, plus the
// active page map used by the active-map entry points.
//
// The page maps' skip lists live in one block pool; the list of page maps
// and the unit index are the registry's own. reset() releases the pool whole
// and starts afresh. Both the pool and the
// registry exist from library load on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "maps/page_map.h"
#include "maps/unit_index.h"
#include "maps/unit_name.h"

namespace trel {

class Registry {
  public:
    // The process-wide registry.
    static Registry &instance();

    // The unit's registered page map, or null. Never creates one.
    PageMap *lookup(const UnitName &unit);

    // The unit's page map, creating, registering and loading it when missing,
    // under the current settings (settings.h): the one way a unit comes to be
    // registered, for the entry points, relabelling and the tool alike.
    // *status is TREL_ALREADY_LOADED for a registered unit, else the load
    // status (0 or TREL_CANNOT_READ, with a message in *problem when the file
    // exists but cannot be read in full). Null with TREL_BAD_SPEC, and nothing
    // registered, when a name is null, the key or path does not fit, or the
    // library-path service does not know the unit.
    PageMap *findOrCreate(const UnitName &unit, int *status, std::string *problem);

    // Calls visit(PageMap&) for every registered page map in the order the
    // units were registered (first named with success), oldest first: the
    // order of trelSavePageMaps.
    template <typename Visit>
    void forEach(Visit &&visit) {
        for (size_t i = 0; i < maps_.size(); ++i)
            visit(*maps_[i]);
    }

    PageMap *active() const { return active_; }
    void setActive(PageMap *map) { active_ = map; }

    // Destroys every page map (none is saved) and the pool, then starts an
    // empty registry in a new pool with no active page map.
    void reset();
    // Changes with every reset: a page map found before stays valid, at the
    // same address, while this value stays the same.
    uint64_t generation() const { return generation_; }

  private:
    Registry();

    BlockPool *pool_;  // every page map's skip list of pairs
    // Every registered page map, in the order of registration: a unit's
    // ordinal is its place here.
    std::vector<PageMap *> maps_;
    UnitIndex index_;  // the one index: the same page maps, found by the unit's names
    PageMap *active_ = nullptr;
    uint64_t generation_ = 0;
};

}  // namespace trel
