// hashsavestr of texts saved before, 1e5 distinct, against
// std::unordered_set<std::string>::find of the same texts. The texts look like
// the registry's unit keys, "lib.cell:view", the table's main use.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <unordered_set>
#include <vector>

#include "case_report.h"
#include "cases.h"
#include "paired_timing.h"
#include "util/string_save.h"

namespace bench {
namespace {

constexpr size_t kTexts = 100000;

std::vector<std::string> unitKeyTexts(size_t count) {
    static const char *const kViews[] = {"sch", "sym", "layout", "vhdl"};
    std::vector<std::string> texts;
    texts.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        texts.push_back("lib" + std::to_string(i % 97) + ".cell" + std::to_string(i) + ":" +
                        kViews[i % 4]);
    }
    return texts;
}

}  // namespace

void stringSaveFind(benchmark::State &state) {
    auto texts = unitKeyTexts(kTexts);
    std::unordered_set<std::string> model;
    for (const auto &text : texts) {
        hashsavestr(text.c_str());
        model.insert(text);
    }
    // The queries are copies in another order: the table must find each text
    // by its bytes, not by an address it handed out.
    std::shuffle(texts.begin(), texts.end(), std::mt19937(51));
    for (const auto &text : texts) {
        if (text != hashsavestr(text.c_str())) {
            failCase(state, "the table returned another text");
            return;
        }
    }

    uint64_t projectSum = 0;
    uint64_t baselineSum = 0;
    auto project = [&] {
        return secondsOf([&] {
            for (const auto &text : texts) {
                projectSum += static_cast<unsigned char>(hashsavestr(text.c_str())[4]);
            }
        });
    };
    auto baseline = [&] {
        return secondsOf([&] {
            for (const auto &text : texts) {
                baselineSum += static_cast<unsigned char>((*model.find(text))[4]);
            }
        });
    };
    runPairedCase(state, quickRounds(), kTexts, project, baseline,
                  [&] { return projectSum == baselineSum; }, "the table returned other texts",
                  {"hashsavestr of saved texts, 1e5 distinct",
                   "std::unordered_set<std::string>::find", "ns/op", GoalKind::ratioAtMost, 2});
}

}  // namespace bench
