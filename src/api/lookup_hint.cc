// The lookup hint, answered by the registry's index of units.
#include "api/lookup_hint.h"

#include "maps/registry.h"

namespace trel {

void prefetchPageMappings(const UnitName *units, size_t count) {
    Registry::instance().prefetch(units, count);
}

}  // namespace trel
