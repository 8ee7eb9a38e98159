// A page looked up in two steps, for relabelling, which looks up pages in the
// same few design units over and over: first the unit's page map, then the
// page in it. A caller may keep the page map, and even the answers, for as
// long as the generations below say they stand.
#pragma once

#include <cstddef>
#include <cstdint>

#include "maps/unit_name.h"

namespace trel {

class PageMap;

// The unit's page map, found, or created and loaded, as trelGetPageMapping
// finds it (Registry::findOrCreate); null when the unit cannot be registered
// (TREL_BAD_SPEC). Reports nothing: the caller says what a null means.
PageMap *unitPageMap(const UnitName &unit);

// The page looked up as trelGetPageMapping looks it up: TREL_OK with the
// mapped page, or TREL_NO_MAPPING with the page itself.
int mappedPage(const PageMap &map, int page, int *mapped);

// A page map from unitPageMap stays valid while this value stays the same;
// trelReset changes it.
uint64_t pageMapsGeneration();

// While this value and pageMapsGeneration stay the same, mappedPage gives the
// same answers: every change to the pairs of any page map changes it.
uint64_t pairsGeneration();

// Starts fetching from memory what mappedPage reads first in each of `maps`,
// for a caller about to look up pages in several page maps that may not be
// in the cache: their misses then overlap instead of coming one after the
// other. Changes nothing.
void prefetchPairs(const PageMap *const *maps, size_t count);

}  // namespace trel
