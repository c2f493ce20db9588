// The flags that the method's result alone raises.
#include <algorithm>
#include <cstddef>

#include "analysis/minimum.h"
#include "analysis/symmetric_pairs.h"
#include "detail/proper_minimum.h"
#include "uncertainty/minimum_error.h"

namespace kvw::uncertainty {

namespace {

// few-pairs: fewer observations than this folded onto the other branch at the
// smallest sum, on the shorter side.
constexpr std::size_t kFewestFoldedObservations = 5;
// edge: a vertex within this fraction of the searched range from either end.
constexpr double kEdgeFraction = 0.05;

}  // namespace

std::vector<std::string> methodFlags(const Observations& observed, const analysis::EclipseTiming& timing) {
    detail::requireProperMinimum(observed, timing);
    const analysis::ResampledCurve& curve = timing.curve;
    const std::span<const double> trialTimes = timing.scan.trialTimes;
    std::vector<std::string> flags;
    if (timing.fit.meanValue < 0) {
        flags.emplace_back(kNegativeVertex);
    }
    // Observations folded onto each other at the smallest sum, on its shorter
    // side: within the reach of its farthest pair.
    const double trialTime = trialTimes[static_cast<std::size_t>(timing.fit.smallestTrial - 1)];
    const analysis::IndexRange firsts = analysis::symmetricPairsOf(timing.fit.smallestTrial, curve.intervals);
    const double reach = trialTime - curve.gridTimes[static_cast<std::size_t>(firsts.first)];
    std::size_t before = 0;
    std::size_t after = 0;
    for (const double t : observed.times) {
        const double x = t - curve.dayOffset;
        before += x >= trialTime - reach && x < trialTime;
        after += x > trialTime && x <= trialTime + reach;
    }
    if (std::min(before, after) < kFewestFoldedObservations) {
        flags.emplace_back(kFewPairs);
    }
    const analysis::TrialRange searched = analysis::searchedTrials(curve.halfCount);
    const double low = trialTimes[static_cast<std::size_t>(searched.first - 1)];
    const double high = trialTimes[static_cast<std::size_t>(searched.last - 1)];
    const double vertex = timing.fit.minimumTime - curve.dayOffset;
    if (std::min(vertex - low, high - vertex) < kEdgeFraction * (high - low)) {
        flags.emplace_back(kEdge);
    }
    return flags;
}

}  // namespace kvw::uncertainty
