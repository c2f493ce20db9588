// The promise every estimator of the uncertainty library asks of its caller.
// Internal to the library.
#pragma once

#include "analysis/eclipse_timing.h"
#include "base/precondition.h"
#include "uncertainty/minimum_error.h"

namespace kvw::uncertainty::detail {

// A proper minimum of three or more observations, timed from these
// observations: its grid, segments and trials complete.
inline void requireProperMinimum(const Observations& observed, const analysis::EclipseTiming& timing) {
    const std::size_t n = observed.times.size();
    const analysis::TrialRange searched = analysis::searchedTrials(timing.curve.halfCount);
    require(timing.timed() && n >= 3 && observed.magnitudes.size() == n &&
                timing.fit.smallestTrial > searched.first && timing.fit.smallestTrial < searched.last &&
                timing.curve.gridTimes.size() >= static_cast<std::size_t>(timing.curve.intervals) &&
                timing.curve.segments.size() == timing.curve.gridTimes.size() &&
                timing.scan.trialTimes.size() >= static_cast<std::size_t>(4 * timing.curve.halfCount - 1),
            "an error is estimated for a proper minimum of three or more observations");
}

}  // namespace kvw::uncertainty::detail
