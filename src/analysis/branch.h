// Branch selection and resampling: observations -> ResampledCurve.
// Finds the deepest point and the crossing of the fainter end level, takes the
// branch window from the crossing, and interpolates the curve linearly onto an
// even grid of N + 1 points over the window.
#pragma once

#include <cstdint>
#include <exception>
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
};

// A curve that the method cannot resample: its crossing time, window, step,
// a grid time or a grid magnitude is not finite, or its first time has no
// 32-bit whole-day offset. The reason says which.
struct UnusableCurve : std::exception {
    explicit UnusableCurve(std::string reason) : reason(std::move(reason)) {}
    const char* what() const noexcept override { return reason.c_str(); }
    std::string reason;
};

// Times and magnitudes in the order given, at least two, with the storage
// reserved for at least as many observations. The grid goes into the storage.
ResampledCurve selectBranchAndResample(std::span<const double> times, std::span<const double> magnitudes,
                                       ResamplingStorage& storage);

}  // namespace kvw::analysis
