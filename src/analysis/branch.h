// Branch selection and resampling: ObservationSeries -> ResampledCurve.
// Finds the deepest point and the crossing of the fainter end level, takes the
// branch window from the crossing, and interpolates the curve linearly onto an
// even grid of N + 1 points over the window.
#pragma once

#include <cstdint>

#include "analysis/observations.h"
#include "analysis/table.h"

namespace kvw::analysis {

struct ResampledCurve {
    // Indices below are counted from 1, as in the method.
    std::int32_t deepestIndex = 0;   // idx: the last observation of the largest magnitude
    double crossingLevel = 0;        // L: the fainter of the two end magnitudes
    std::int32_t crossingIndex = 0;  // e: n when no crossing exists
    double crossingTime = 0;         // H
    std::int32_t dayOffset = 0;      // D: T(1) truncated toward zero
    std::int32_t branchPoints = 0;   // nw
    std::int32_t halfCount = 0;      // K = nw + 3
    std::int32_t intervals = 0;      // N = 2K
    double windowStart = 0;
    double windowEnd = 0;
    double step = 0;                 // h = (window end - window start) / N
    Table gridTimes;                 // g_t(1..N+1), days after D
    Table gridMagnitudes;            // g_m(1..N+1)
};

// Requires at least two observations. A curve whose crossing time, window,
// step, grid times or grid magnitudes are not finite, or whose first time has
// no 32-bit day offset, ends the run with an IoFailure. The grid tables, when
// given, are filled in place of new ones (their reserved storage is used).
ResampledCurve selectBranchAndResample(const ObservationSeries& series, Table gridTimes = {},
                                       Table gridMagnitudes = {});

}  // namespace kvw::analysis
