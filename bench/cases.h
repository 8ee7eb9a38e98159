// The benchmark cases. Each measures one operation of the library and its
// baseline in the same run and reports both figures, their ratio and its goal
// through reportCase. main.cc registers them, in the order they run.
#pragma once

#include <benchmark/benchmark.h>

namespace bench {

// page_map_bench.cc: PageMap get and set against std::map find and insert.
void pageMapGet(benchmark::State &state);
void pageMapSetNew(benchmark::State &state);
// pair_memory_bench.cc: pool bytes per pair against std::map's heap bytes.
void pairMemory(benchmark::State &state);
// map_file_bench.cc: map file load and save against fscanf and fprintf loops,
// and the save against one write of the same text.
void mapFileLoad(benchmark::State &state);
void mapFileSaveInPageOrder(benchmark::State &state);
void mapFileSaveAtDiskLimit(benchmark::State &state);
void mapFileSaveInRandomOrder(benchmark::State &state);
// lookup_bench.cc: trelGetPageMapping against a plain keyed registry.
void pageMappingLookup(benchmark::State &state);
// cname_bench.cc: relabelling against parsing and printing the name, over
// random names and over a design listed in hierarchy order.
void mappedCname(benchmark::State &state);
void mappedCnamePrefetch(benchmark::State &state);
void mappedCnameInHierarchyOrder(benchmark::State &state);
void lastElementInHierarchyOrder(benchmark::State &state);
// string_save_bench.cc: hashsavestr against std::unordered_set::find.
void stringSaveFind(benchmark::State &state);

}  // namespace bench
