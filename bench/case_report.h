// The result of one benchmark case: the library's figure, the baseline's, their
// ratio and the goal the case is held to. Each case hands its result to
// reportCase, which shows it as counters on the benchmark's own line and keeps
// it for the summary table printed after all cases have run.
#pragma once

#include <benchmark/benchmark.h>

#include <ostream>
#include <string>

namespace bench {

enum class GoalKind {
    ratioAtMost,     // library / baseline must not exceed the goal
    projectAtMost,   // the library's own figure must not exceed the goal
    projectAtLeast,  // the library's own figure must reach the goal
};

struct CaseResult {
    std::string name;      // what is measured, as the summary shows it
    std::string baseline;  // what it is measured against
    std::string unit;      // unit of both figures: "ns/op", "bytes/pair", ...
    double project = 0;
    double base = 0;
    double ratio = 0;
    GoalKind kind = GoalKind::ratioAtMost;
    double goal = 0;

    bool met() const;
    std::string goalText() const;
};

// Sets the counters trel, baseline and ratio on `state`, labels the line with
// the unit and the verdict, and keeps the result for printSummary.
void reportCase(benchmark::State &state, const CaseResult &result);

// Ends a case whose two sides disagreed (or that could not be prepared): its
// line shows the message, it gets no result, and caseFailures() counts it.
// A figure measured on wrong answers would mean nothing.
void failCase(benchmark::State &state, const std::string &message);
int caseFailures();

// A Markdown table of every case reported so far, in the order they ran; a
// case run more than once shows its latest result.
void printSummary(std::ostream &out);

}  // namespace bench
