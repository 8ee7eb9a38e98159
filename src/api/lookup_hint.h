// A hint for callers inside the library that are about to look up pages in
// several design units in a row, as relabelling does for the parents of a
// name's elements.
#pragma once

#include <cstddef>

#include "maps/unit_name.h"

namespace trel {

// Starts fetching from memory what trelGetPageMapping reads first for each of
// the registered units among `units`, so that the lookups that follow do not
// wait for their page maps one after the other. It changes nothing, creates no
// page map and reports nothing; units not registered, or with a null name,
// are passed over.
void prefetchPageMappings(const UnitName *units, size_t count);

}  // namespace trel
