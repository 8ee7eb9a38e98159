// Page-map get and set of new pages, 1e5 pairs, against std::map find and
// insert on the same pages.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>

#include "case_report.h"
#include "cases.h"
#include "maps/page_map.h"
#include "paired_timing.h"
#include "pool_page_map.h"
#include "random_pages.h"

namespace bench {
namespace {

constexpr size_t kPairs = 100000;

using Model = std::map<uint32_t, int32_t>;

}  // namespace

void pageMapGet(benchmark::State &state) {
    const auto pages = distinctPages(kPairs, 11);
    const auto mapped = randomValues(kPairs, 12);
    const auto queries = shuffled(pages, 13);
    PoolPageMap map;
    Model model;
    for (size_t i = 0; i < kPairs; ++i) {
        map->set(pages[i], mapped[i]);
        model.emplace(static_cast<uint32_t>(pages[i]), mapped[i]);
    }

    // Both sides add up what they find, so neither lookup can be left out,
    // and equal sums show that both found the same pairs.
    int64_t projectSum = 0;
    int64_t baselineSum = 0;
    auto project = [&] {
        return secondsOf([&] {
            for (int32_t page : queries) {
                int32_t found = 0;
                map->get(page, &found);
                projectSum += found;
            }
        });
    };
    auto baseline = [&] {
        return secondsOf([&] {
            for (int32_t page : queries) {
                baselineSum += model.find(static_cast<uint32_t>(page))->second;
            }
        });
    };
    runPairedCase(state, quickRounds(), kPairs, project, baseline,
                  [&] { return projectSum == baselineSum; }, "the page map found other pairs",
                  {"page-map get, 1e5 pairs, random pages", "std::map find", "ns/op",
                   GoalKind::ratioAtMost, 1.5});
}

void pageMapSetNew(benchmark::State &state) {
    const auto pages = distinctPages(kPairs, 21);
    const auto mapped = randomValues(kPairs, 22);

    // Every round starts from an empty page map in a new pool and an empty
    // std::map; building them and releasing them is not timed.
    bool sizesAgree = true;
    auto project = [&] {
        PoolPageMap map;
        const double seconds = secondsOf([&] {
            for (size_t i = 0; i < kPairs; ++i) {
                map->set(pages[i], mapped[i]);
            }
        });
        sizesAgree = sizesAgree && map.pairCount() == kPairs;
        return seconds;
    };
    auto baseline = [&] {
        Model model;
        const double seconds = secondsOf([&] {
            for (size_t i = 0; i < kPairs; ++i) {
                model.insert({static_cast<uint32_t>(pages[i]), mapped[i]});
            }
        });
        sizesAgree = sizesAgree && model.size() == kPairs;
        return seconds;
    };
    runPairedCase(
        state, quickRounds(), kPairs, project, baseline, [&] { return sizesAgree; },
        "a side lost pairs",
        {"page-map set of new pages, 1e5", "std::map insert", "ns/op", GoalKind::ratioAtMost, 1.5});
}

}  // namespace bench
