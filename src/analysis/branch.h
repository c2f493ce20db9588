// Branch selection and resampling: observations -> ResampledCurve.
// Finds the deepest point and the crossing of the fainter end level, takes the
// branch window from the crossing, and interpolates the curve linearly onto an
// even grid of N + 1 points over the window.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "analysis/working_storage.h"

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
    std::span<const double> gridTimes;       // g_t(1..N+1), days after D, in the storage
    std::span<const double> gridMagnitudes;  // g_m(1..N+1)
    std::span<const std::int32_t> segments;  // the segment (from 0) each grid point is interpolated on

    // Why the method cannot resample the curve: its crossing time, window,
    // step, a grid time or a grid magnitude is not finite, or its first time
    // has no 32-bit whole-day offset. Empty when the grid was made; otherwise
    // the grid tables are empty and the caller reports it.
    std::string unusable;
    bool usable() const { return unusable.empty(); }
};

// Times and magnitudes in the order given, at least two, with the storage
// reserved for at least as many observations. The grid goes into the storage.
ResampledCurve selectBranchAndResample(std::span<const double> times, std::span<const double> magnitudes,
                                       ResamplingStorage& storage);

// The weight w of observation k + 1 in the magnitude interpolated at a grid
// time x (days after the day offset D) on segment k (from 0): the grid holds
// (1 - w) M(k) + w M(k + 1), w = (x - (T(k) - D)) / (T(k + 1) - T(k)), as the
// resampling places x on its segment, in extended precision and rounded once.
double interpolationWeight(std::span<const double> times, std::int32_t dayOffset, std::int32_t segment,
                           double gridTime);

}  // namespace kvw::analysis
