// The two steps of trelGetPageMapping.
#include "api/page_lookup.h"

#include <string>

#include "api/last_error.h"
#include "api/settings.h"
#include "maps/page_map.h"
#include "maps/registry.h"

namespace trel {

PageMap *unitPageMap(const UnitName &unit) {
    int status;
    std::string problem;
    PageMap *map = Registry::instance().findOrCreate(unit, settings().context, settings().fileMode,
                                                     &status, &problem);
    if (map == nullptr) reportBadSpec(unit);
    return map;
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
