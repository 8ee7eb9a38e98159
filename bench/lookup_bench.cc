// trelGetPageMapping on a registered unit, in nanoseconds per call. The
// baseline is the plain way to the same answer: the unit's key formatted with
// snprintf("%s.%s:%s"), a std::unordered_map<std::string, std::map> from key
// to pairs, and std::map::find.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "case_report.h"
#include "cases.h"
#include "design_root.h"
#include "paired_timing.h"
#include "random_pages.h"
#include "trel.h"

namespace bench {
namespace {

constexpr size_t kUnits = 1000;      // registered besides the one asked
constexpr size_t kPairs = 1000;      // pairs of the unit asked
constexpr size_t kQueries = 100000;  // calls per round

using Pairs = std::map<uint32_t, int32_t>;

// The baseline's registry.
struct KeyedUnits {
    std::unordered_map<std::string, Pairs> units;

    Pairs &unit(const char *lib, const char *cell, const char *view) {
        return units[key(lib, cell, view)];
    }
    int get(const char *lib, const char *cell, const char *view, int page, int *mapped) const {
        const auto found = units.find(key(lib, cell, view));
        if (found != units.end()) {
            const auto pair = found->second.find(static_cast<uint32_t>(page));
            if (pair != found->second.end()) {
                *mapped = pair->second;
                return TREL_OK;
            }
        }
        *mapped = page;
        return TREL_NO_MAPPING;
    }
    static std::string key(const char *lib, const char *cell, const char *view) {
        char text[1024];
        std::snprintf(text, sizeof text, "%s.%s:%s", lib, cell, view);
        return text;
    }
};

}  // namespace

void pageMappingLookup(benchmark::State &state) {
    DesignRoot root;
    KeyedUnits model;
    for (size_t i = 0; i < kUnits; ++i) {
        const std::string cell = "cell" + std::to_string(i);
        trelSetPageMapping("work", cell.c_str(), "sch", 1, 2);
        model.unit("work", cell.c_str(), "sch")[1] = 2;
    }
    const auto pages = distinctPages(kPairs, 61);
    const auto mapped = randomValues(kPairs, 62);
    Pairs &asked = model.unit("work", "alu", "sch");
    for (size_t i = 0; i < kPairs; ++i) {
        // Equal numbers would remove the pair instead of storing it.
        const int32_t to = mapped[i] != pages[i] ? mapped[i] : mapped[i] ^ 1;
        trelSetPageMapping("work", "alu", "sch", pages[i], to);
        asked[static_cast<uint32_t>(pages[i])] = to;
    }
    std::vector<int32_t> queries;
    queries.reserve(kQueries);
    const auto order = randomValues(kQueries, 63);
    for (int32_t pick : order) {
        queries.push_back(pages[static_cast<uint32_t>(pick) % kPairs]);
    }

    int64_t projectSum = 0;
    int64_t baselineSum = 0;
    auto project = [&] {
        return secondsOf([&] {
            for (int32_t page : queries) {
                int found = 0;
                projectSum += trelGetPageMapping("work", "alu", "sch", page, &found) + found;
            }
        });
    };
    auto baseline = [&] {
        return secondsOf([&] {
            for (int32_t page : queries) {
                int found = 0;
                baselineSum += model.get("work", "alu", "sch", page, &found) + found;
            }
        });
    };
    runPairedCase(state, quickRounds(), kQueries, project, baseline,
                  [&] { return projectSum == baselineSum; }, "the lookups gave other answers",
                  {"trelGetPageMapping on a registered unit",
                   "snprintf key, unordered_map<string, std::map>, find", "ns/call",
                   GoalKind::projectAtMost, 250});
    // The page maps go, so that later cases start from an empty registry.
    trelReset();
}

}  // namespace bench
