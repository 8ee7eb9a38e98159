// The benchmark program: registers the cases, runs those that Google
// Benchmark's flags select (all by default), then prints the table of every
// case's figures, ratio and goal. It exits with 1 when a case found that the
// library and its baseline gave different answers; missed goals do not change
// the exit status, since they depend on the machine.
//
// Besides Google Benchmark's own flags it takes --trel_rounds=N, the number of
// interleaved rounds in which the map file cases time their two sides (9 by
// default); the quicker cases run three times as many. --trel_unit_memory_32=
// PROGRAM names the 32-bit build's trel_unit_memory, whose figures the unit
// memory case shows beside the 64-bit ones.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>

#include "case_report.h"
#include "cases.h"
#include "paired_timing.h"

namespace {

// Takes --trel_rounds=N and --trel_unit_memory_32=PROGRAM out of the
// arguments, leaving the others in order.
void takeRoundsFlag(int *argc, char **argv) {
    static const char kFlag[] = "--trel_rounds=";
    static const char kMemoryFlag[] = "--trel_unit_memory_32=";
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        if (std::strncmp(argv[i], kFlag, sizeof kFlag - 1) == 0) {
            bench::setRounds(std::atoi(argv[i] + sizeof kFlag - 1));
        } else if (std::strncmp(argv[i], kMemoryFlag, sizeof kMemoryFlag - 1) == 0) {
            bench::setUnitMemory32Program(argv[i] + sizeof kMemoryFlag - 1);
        } else {
            argv[kept++] = argv[i];
        }
    }
    *argc = kept;
}

// Each case repeats its own interleaved rounds, so Google Benchmark runs it
// once. The cases run in this order; the string-save case comes last because
// the texts it saves stay in the process-wide table and would deepen every
// later unit-key lookup.
void registerCases() {
    struct Case {
        const char *name;
        void (*run)(benchmark::State &);
    };
    static const Case kCases[] = {
        {"page_map_get", bench::pageMapGet},
        {"page_map_set_new", bench::pageMapSetNew},
        {"pair_memory", bench::pairMemory},
        {"map_file_load", bench::mapFileLoad},
        {"map_file_save_page_order", bench::mapFileSaveInPageOrder},
        {"map_file_save_disk_limit", bench::mapFileSaveAtDiskLimit},
        {"map_file_save_random_order", bench::mapFileSaveInRandomOrder},
        {"page_mapping_lookup", bench::pageMappingLookup},
        {"mapped_cname", bench::mappedCname},
        {"mapped_cname_prefetch", bench::mappedCnamePrefetch},
        {"mapped_cname_hierarchy_order", bench::mappedCnameInHierarchyOrder},
        {"last_element_hierarchy_order", bench::lastElementInHierarchyOrder},
        {"large_load", bench::largeLoad},
        {"large_first_bulk_save", bench::largeFirstBulkSave},
        {"unit_fixed_memory", bench::unitFixedMemory},
        {"in_place_save", bench::inPlaceSave},
        {"processes_sharing_unit", bench::processesSharingUnit},
        {"string_save_find", bench::stringSaveFind},
    };
    for (const Case &one : kCases) {
        benchmark::RegisterBenchmark(one.name, one.run)
            ->Iterations(1)
            ->Unit(benchmark::kMillisecond);
    }
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    takeRoundsFlag(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    registerCases();
    try {
        benchmark::RunSpecifiedBenchmarks();
    } catch (const std::exception &error) {
        // Only the preparation of a case throws: a design folder or a map
        // file that cannot be made.
        std::cerr << "trel_bench: " << error.what() << "\n";
        return 1;
    }
    bench::printSummary(std::cout);
    benchmark::Shutdown();
    // A case whose sides disagreed measured a fault, not a speed.
    return bench::caseFailures() == 0 ? 0 : 1;
}
