// Paired timing: the library's side of a case and its baseline measured in the
// same run, round after round, alternating which side goes first, so that a
// slow spell of a shared machine falls on both alike. What is kept is the
// median of the per-round ratios, which a single disturbed round cannot move,
// and the median time per operation of each side.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "case_report.h"

namespace bench {

// Seconds spent in `work`, by the steady clock.
template <typename Work>
double secondsOf(Work &&work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One round of one side. It prepares what it needs (fresh containers, open
// files), times only the measured part with secondsOf and returns that time.
using TimedRound = std::function<double()>;

struct PairedTimes {
    double projectNs;   // median nanoseconds per operation of the library
    double baselineNs;  // median nanoseconds per operation of the baseline
    double ratio;       // median of the per-round ratios library / baseline
};

// Runs `rounds` rounds of both sides, each round timing `operations`
// operations per side.
PairedTimes measurePaired(int rounds, double operations, const TimedRound &project,
                          const TimedRound &baseline);

// What a timed case is called and the goal it is held to.
struct CaseGoal {
    std::string name;      // what is measured
    std::string baseline;  // what it is measured against
    std::string unit;      // "ns/op", "ns/pair", ... or a rate such as "names/s"
    GoalKind kind;
    double goal;
    bool perSecond = false;  // report operations per second instead of time
};

// Times both sides as long as the benchmark runs and reports each measurement.
// After each measurement `agree` tells whether the sides gave the same
// answers; when they did not, the case fails with `disagreement`.
void runPairedCase(benchmark::State &state, int rounds, double operations,
                   const TimedRound &project, const TimedRound &baseline,
                   const std::function<bool()> &agree, const std::string &disagreement,
                   const CaseGoal &goal);

// The median; the mean of the two middle values for an even count.
double median(std::vector<double> values);

// Rounds of the cases whose rounds take a second or so (map file load and
// save): 9 by default, or N from --trel_rounds=N.
int rounds();
void setRounds(int count);
// Rounds of the cases whose rounds take milliseconds: three times as many, so
// that a short burst of load on a shared machine moves the median less.
int quickRounds();

}  // namespace bench
