// Counters, labels and the summary table of the cases' results.
#include "case_report.h"

#include <cstdio>
#include <vector>

#include "paired_timing.h"

namespace bench {
namespace {

std::vector<CaseResult> &results() {
    static std::vector<CaseResult> all;
    return all;
}

// Three significant digits are as many as a shared machine can tell apart.
std::string figure(double value) {
    char text[64];
    if (value >= 1000) {
        std::snprintf(text, sizeof text, "%.0f", value);
    } else {
        std::snprintf(text, sizeof text, "%.3g", value);
    }
    return text;
}

int failures = 0;

}  // namespace

void failCase(benchmark::State &state, const std::string &message) {
    ++failures;
    state.SkipWithError(message.c_str());
}

int caseFailures() {
    return failures;
}

bool CaseResult::met() const {
    switch (kind) {
        case GoalKind::ratioAtMost:
            return ratio <= goal;
        case GoalKind::projectAtMost:
            return project <= goal;
        case GoalKind::projectAtLeast:
            return project >= goal;
    }
    return false;
}

std::string CaseResult::goalText() const {
    switch (kind) {
        case GoalKind::ratioAtMost:
            return "ratio <= " + figure(goal);
        case GoalKind::projectAtMost:
            return "<= " + figure(goal) + " " + unit;
        case GoalKind::projectAtLeast:
            return ">= " + figure(goal) + " " + unit;
    }
    return "";
}

void reportCase(benchmark::State &state, const CaseResult &result) {
    state.counters["trel"] = result.project;
    state.counters["baseline"] = result.base;
    state.counters["ratio"] = result.ratio;
    state.SetLabel(result.unit + ", goal " + result.goalText() + ": " +
                   (result.met() ? "met" : "MISSED"));
    auto &all = results();
    for (auto &kept : all) {
        if (kept.name == result.name) {
            kept = result;
            return;
        }
    }
    all.push_back(result);
}

void printSummary(std::ostream &out) {
    if (results().empty()) return;
    out << "\nTimes are medians of " << rounds() << " interleaved rounds (map file cases) or "
        << quickRounds() << " (the other timed cases); ratio is trel / baseline, the median of"
        << " the rounds' own ratios.\n"
        << "\n| case | measured against | unit | trel | baseline | ratio | goal | met |\n"
        << "|---|---|---|---|---|---|---|---|\n";
    for (const auto &result : results()) {
        out << "| " << result.name << " | " << result.baseline << " | " << result.unit << " | "
            << figure(result.project) << " | " << figure(result.base) << " | "
            << figure(result.ratio) << " | " << result.goalText() << " | "
            << (result.met() ? "yes" : "**no**") << " |\n";
    }
}

}  // namespace bench
