// The two steps of a page lookup, over the registry and the page maps.
#include "maps/page_lookup.h"

#include <string>

#include "maps/page_map.h"
#include "maps/registry.h"

namespace trel {

PageMap *unitPageMap(const UnitName &unit) {
    int status;
    std::string problem;  // a lookup's own load reports nothing
    return Registry::instance().findOrCreate(unit, &status, &problem);
}

int mappedPage(const PageMap &map, int page, int *mapped) {
    return map.get(page, mapped);
}

uint64_t pageMapsGeneration() {
    return Registry::instance().generation();
}

uint64_t pairsGeneration() {
    return PageMap::pairsGeneration();
}

void prefetchPairs(const PageMap *const *maps, size_t count) {
    PageMap::prefetchPairs(maps, count);
}

}  // namespace trel
