// Registry state and the find-or-create path.
#include "maps/registry.h"

#include <string>

#include "maps/map_file.h"
#include "maps/map_location.h"
#include "maps/unit_key.h"
#include "trel.h"

namespace trel {
namespace {

// Created while the library loads, so every entry point finds it ready; never
// destroyed, as the host may call in until the very end of the process.
[[maybe_unused]] Registry &loaded = Registry::instance();

}  // namespace

Registry &Registry::instance() {
    static Registry *registry = new Registry();
    return *registry;
}

// The pool first, then the registry's list inside it.
Registry::Registry() : pool_(poolnew()), units_(skipnew(pool_)) {}

PageMap *Registry::lookup(const UnitName &unit) {
    if (!unit.complete()) return nullptr;
    if (PageMap *found = index_.find(unit, UnitIndex::hash(unit))) return found;
    uint32_t key;
    return unitKey(unit, &key) ? registered(key) : nullptr;
}

PageMap *Registry::findOrCreate(const UnitName &unit, int context, int fileMode, int *status,
                                std::string *problem) {
    *status = TREL_BAD_SPEC;
    if (!unit.complete()) return nullptr;
    const uint64_t hash = UnitIndex::hash(unit);
    // The index holds every registered unit by its names.
    if (PageMap *found = index_.find(unit, hash)) {
        *status = TREL_ALREADY_LOADED;
        return found;
    }
    uint32_t key;
    if (!unitKey(unit, &key)) return nullptr;
    std::string path;
    if (!locateMapFile(unit, context, &path)) return nullptr;
    auto *map = new PageMap(unit, std::move(path), pool_);
    maps_.push_back(map);
    *skipinsert(units_, key) = static_cast<SkipValue>(maps_.size() - 1);
    index_.insert(map, hash);
    *status = loadMapFile(*map, fileMode, problem);
    return map;
}

PageMap *Registry::registered(uint32_t key) {
    SkipValue *found = skipsearch(units_, key);
    return found != nullptr ? maps_[*found] : nullptr;
}

void Registry::reset() {
    forEach([](PageMap &map) { delete &map; });
    pooldelete(pool_);
    pool_ = poolnew();
    units_ = skipnew(pool_);
    maps_.clear();
    index_.clear();
    active_ = nullptr;
    ++generation_;
}

}  // namespace trel
