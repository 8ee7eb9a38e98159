// trelGetMappedCname on names of 8 levels over 1e4 registered units, in names
// per second. The baseline is what the call cannot avoid: the
// hierarchical-name library parsing the same name and printing it again,
// without any relabelling.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "case_report.h"
#include "cases.h"
#include "design_root.h"
#include "hq.h"
#include "paired_timing.h"
#include "trel.h"

namespace bench {
namespace {

constexpr int kUnits = 10000;
constexpr int kLevels = 8;
constexpr int kPagesPerUnit = 8;   // pages 1..8 of every unit have a pair
constexpr int kPageOffset = 1000;  // page p of every unit maps to p + 1000
constexpr size_t kNames = 4096;    // distinct names, each relabelled once per round
constexpr size_t kOutputSize = 1024;

std::string unitText(int unit) {
    return "(work.u" + std::to_string(unit) + ":sch)";
}

// A name and the text its relabelling must give.
struct NameCase {
    std::string name;
    std::string relabelled;
};

// top(work.uA:sch)/I1@p(work.uB:sch)/.../I7@p(work.uH:sch): every element
// after the first stands on a page that its parent's page map sends to
// page + kPageOffset, so every one of them is relabelled.
std::vector<NameCase> nameCases(size_t count) {
    std::mt19937 random(71);
    std::uniform_int_distribution<int> unit(0, kUnits - 1);
    std::uniform_int_distribution<int> page(1, kPagesPerUnit);
    std::vector<NameCase> cases(count);
    for (auto &one : cases) {
        const std::string top = "top" + unitText(unit(random));
        one.name = top;
        one.relabelled = top;
        for (int level = 1; level < kLevels; ++level) {
            const int at = page(random);
            const std::string instance = "I" + std::to_string(level);
            const std::string names = unitText(unit(random));
            one.name.append("/").append(instance).append("@").append(std::to_string(at));
            one.name.append(names);
            one.relabelled.append("/page").append(std::to_string(at + kPageOffset));
            one.relabelled.append("_").append(instance).append(names);
        }
    }
    return cases;
}

}  // namespace

void mappedCname(benchmark::State &state) {
    DesignRoot root;
    for (int unit = 0; unit < kUnits; ++unit) {
        const std::string cell = "u" + std::to_string(unit);
        for (int page = 1; page <= kPagesPerUnit; ++page) {
            trelSetPageMapping("work", cell.c_str(), "sch", page, page + kPageOffset);
        }
    }
    const auto cases = nameCases(kNames);
    std::vector<char> out(kOutputSize);
    for (const auto &one : cases) {
        if (trelGetMappedCname(one.name.c_str(), out.data(), static_cast<int>(out.size())) !=
                TREL_OK ||
            one.relabelled != out.data()) {
            failCase(state, "wrong relabelling of " + one.name);
            trelReset();
            return;
        }
    }

    int failures = 0;
    auto project = [&] {
        return secondsOf([&] {
            for (const auto &one : cases) {
                failures += trelGetMappedCname(one.name.c_str(), out.data(),
                                               static_cast<int>(out.size())) != TREL_OK;
            }
        });
    };
    auto baseline = [&] {
        return secondsOf([&] {
            for (const auto &one : cases) {
                hqPath path(one.name.c_str());
                failures += path.valid == 0;
                std::strncpy(out.data(), path, out.size());
            }
        });
    };
    runPairedCase(
        state, quickRounds(), kNames, project, baseline, [&failures] { return failures == 0; },
        "a name was refused",
        {"trelGetMappedCname, 8 levels over 1e4 units", "hqPath parse and print of the name",
         "names/s", GoalKind::ratioAtMost, 2.5, /*perSecond=*/true});
    trelReset();
}

}  // namespace bench
