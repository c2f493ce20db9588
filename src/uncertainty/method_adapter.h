// The one place where the uncertainty room meets the timing method: it times a
// light curve through the analysis functions and hands back what the error
// estimators read. Swapping the analysis interface touches this file pair only.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "analysis/eclipse_timing.h"

namespace kvw::uncertainty {

// A light curve in time order: times (days) and magnitudes of equal length.
struct LightCurve {
    std::span<const double> times;
    std::span<const double> magnitudes;
};

// The method's result for one light curve. Grid and trial times are days after
// the day offset, like the parabola S(T) = a T^2 + b T + c.
struct MethodResult {
    bool improper = true;    // the smallest sum lies on an end of trials K..3K
    double minimumTime = 0;  // absolute, days
    double classicError = 0;
    double meanValue = 0;    // the parabola's value at its vertex
    double a = 0;
    double b = 0;
    double c = 0;
    std::int32_t dayOffset = 0;
    std::int32_t branchPoints = 0;  // nw
    std::int32_t halfCount = 0;     // K
    std::int32_t smallestTrial = 0; // counted from 1
    double step = 0;                // grid step h
    std::vector<double> gridTimes;  // N + 1 points
    std::vector<double> gridMagnitudes;
    std::vector<double> trialTimes;  // 4K - 1 trials
    std::vector<double> sums;
    std::vector<std::int32_t> pairCounts;
};

// Times the light curve with the method; UnusableCurve passes through.
// Requires at least two observations.
MethodResult timeLightCurve(const LightCurve& curve);

// The same from a timing already made (its tables are copied out of the storage).
MethodResult methodResultOf(const analysis::EclipseTiming& timing);

// The time of minimum alone, or nothing when the minimum is improper or the
// curve cannot be resampled: the form in which the estimators re-time replicas.
// Its sums are the plain ones (analysis/pair_sums.h), not the exact: the time
// may differ from timeLightCurve's in its last bits.
std::optional<double> minimumTimeOf(const LightCurve& curve);

}  // namespace kvw::uncertainty
