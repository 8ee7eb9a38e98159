// Interleaved rounds of a case's two sides and the medians taken over them.
#include "paired_timing.h"

#include <algorithm>

namespace bench {
namespace {

int roundCount = 9;

}  // namespace

int rounds() {
    return roundCount;
}

int quickRounds() {
    return 3 * roundCount;
}

void setRounds(int count) {
    roundCount = count > 0 ? count : 1;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    if (values.size() % 2 == 1) return values[middle];
    return (values[middle - 1] + values[middle]) / 2;
}

PairedTimes measurePaired(int roundsToRun, double operations, const TimedRound &project,
                          const TimedRound &baseline) {
    std::vector<double> projectSeconds;
    std::vector<double> baselineSeconds;
    std::vector<double> ratios;
    for (int round = 0; round < roundsToRun; ++round) {
        // Whichever side runs second finds the caches warmed, or cooled, by
        // the first; taking turns spreads that over both.
        double mine;
        double theirs;
        if (round % 2 == 0) {
            mine = project();
            theirs = baseline();
        } else {
            theirs = baseline();
            mine = project();
        }
        projectSeconds.push_back(mine);
        baselineSeconds.push_back(theirs);
        ratios.push_back(theirs > 0 ? mine / theirs : 0);
    }
    const double nsPerOperation = 1e9 / operations;
    return {median(projectSeconds) * nsPerOperation, median(baselineSeconds) * nsPerOperation,
            median(ratios)};
}

void runPairedCase(benchmark::State &state, int rounds, double operations,
                   const TimedRound &project, const TimedRound &baseline,
                   const std::function<bool()> &agree, const std::string &disagreement,
                   const CaseGoal &goal) {
    while (state.KeepRunning()) {
        const PairedTimes times = measurePaired(rounds, operations, project, baseline);
        if (!agree()) {
            failCase(state, disagreement);
            return;
        }
        // A rate is the inverse of the time; the ratio stays library / baseline in time.
        const double projectFigure = goal.perSecond ? 1e9 / times.projectNs : times.projectNs;
        const double baseFigure = goal.perSecond ? 1e9 / times.baselineNs : times.baselineNs;
        reportCase(state, {goal.name, goal.baseline, goal.unit, projectFigure, baseFigure,
                           times.ratio, goal.kind, goal.goal});
    }
}

}  // namespace bench
