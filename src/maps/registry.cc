// Registry state and the find-or-create path.
#include "maps/registry.h"

#include <string>

#include "maps/map_file.h"
#include "maps/map_location.h"
#include "maps/settings.h"
#include "maps/unit_key.h"
#include "trel.h"

namespace trel {
namespace {

// Whether a load left the page map holding all of an existing file's pairs:
// saving it then would write what the file holds, so it counts as unmodified.
// A unit without a file stays modified, so that a bulk save creates the file,
// and one whose file could not be read in full stays modified for the save to
// refuse, as any save of it would.
bool holdsWholeFile(const MapFileRecord &file) {
    const SyncPoint &sync = file.syncPoint();
    return file.state() == MapFileRecord::State::held && sync.known && sync.digestKnown &&
           sync.file.exists;
}

// Created while the library loads, so every entry point finds it ready; never
// destroyed, as the host may call in until the very end of the process.
[[maybe_unused]] Registry &loaded = Registry::instance();

}  // namespace

Registry &Registry::instance() {
    static Registry *registry = new Registry();
    return *registry;
}

// The pool the page maps' lists live in, from library load on.
Registry::Registry() : pool_(poolnew()) {}

PageMap *Registry::lookup(const UnitName &unit) {
    return unit.complete() ? index_.find(unit, UnitIndex::hash(unit)) : nullptr;
}

PageMap *Registry::findOrCreate(const UnitName &unit, int *status, std::string *problem) {
    *status = TREL_BAD_SPEC;
    if (!unit.complete()) return nullptr;
    const uint64_t hash = UnitIndex::hash(unit);
    // The index holds every registered unit by its names.
    if (PageMap *found = index_.find(unit, hash)) {
        *status = TREL_ALREADY_LOADED;
        return found;
    }
    if (!unitKeyFits(unit)) return nullptr;
    std::string path;
    if (!locateMapFile(unit, settings().context, &path)) return nullptr;
    PageMap *map = PageMap::make(unit, path, pool_);
    maps_.push_back(map);
    index_.insert(map, hash);
    *status = loadMapFile(*map, settings().fileMode, problem);
    if (holdsWholeFile(map->file())) map->setModified(false);
    return map;
}

void Registry::reset() {
    forEach([](PageMap &map) { delete &map; });
    pooldelete(pool_);
    pool_ = poolnew();
    std::vector<PageMap *>().swap(maps_);
    index_.clear();
    active_ = nullptr;
    ++generation_;
}

}  // namespace trel
