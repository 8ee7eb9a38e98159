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
    uint32_t key;
    if (!unitKey(unit, &key)) return nullptr;
    SkipValue *found = skipsearch(units_, key);
    return found != nullptr ? reinterpret_cast<PageMap *>(*found) : nullptr;
}

PageMap *Registry::findOrCreate(const UnitName &unit, int context, int fileMode, int *status) {
    uint32_t key;
    if (!unitKey(unit, &key)) {
        *status = TREL_BAD_SPEC;
        return nullptr;
    }
    if (SkipValue *found = skipsearch(units_, key)) {
        *status = TREL_ALREADY_LOADED;
        return reinterpret_cast<PageMap *>(*found);
    }
    std::string path;
    if (!locateMapFile(unit, context, &path)) {
        *status = TREL_BAD_SPEC;
        return nullptr;
    }
    auto *map = new PageMap(unit, std::move(path), pool_);
    *skipinsert(units_, key) = reinterpret_cast<SkipValue>(map);
    *status = loadMapFile(*map, fileMode);
    return map;
}

void Registry::reset() {
    forEach([](PageMap &map) { delete &map; });
    pooldelete(pool_);
    pool_ = poolnew();
    units_ = skipnew(pool_);
    active_ = nullptr;
}

}  // namespace trel
