// The benchmark cases. Each measures one operation of the library and its
// baseline in the same run and reports both figures, their ratio and its goal
// through reportCase. main.cc registers them, in the order they run.
#pragma once

#include <benchmark/benchmark.h>

#include <string>

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
// large_design_bench.cc: 1e4 units of 100 pairs: loading them against an
// fscanf loop, the first bulk save after loading with 10 edited against 10
// single saves, a unit's fixed memory against its floor (and the 32-bit
// build's, from its trel_unit_memory when given), and a save in place through
// a hard link against the same save by rename; N processes saving one unit
// against one process.
void largeLoad(benchmark::State &state);
void largeFirstBulkSave(benchmark::State &state);
void unitFixedMemory(benchmark::State &state);
void inPlaceSave(benchmark::State &state);
void processesSharingUnit(benchmark::State &state);
void setUnitMemory32Program(const std::string &path);
// string_save_bench.cc: hashsavestr against std::unordered_set::find.
void stringSaveFind(benchmark::State &state);

}  // namespace bench
