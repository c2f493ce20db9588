// Symmetry scan: ResampledCurve -> SymmetryScan. For 4K - 1 trial times
// spaced by half a grid step, folds the grid about each and sums the squared
// magnitude differences of the pairs that pass the pair test.
#pragma once

#include <cstdint>
#include <span>

#include "analysis/branch.h"
#include "analysis/pair_sums.h"
#include "analysis/working_storage.h"
#include "linalg/extended.h"

namespace kvw::analysis {

// The pair tolerance in days, held in single precision.
inline constexpr float kPairTolerance = 1.0e-7f;

struct SymmetryScan {
    std::int32_t trialCount = 0;              // 4K - 1
    std::span<const double> trialTimes;       // X(1..4K-1), days after D, in the storage
    std::span<const double> sums;             // S(1..4K-1)
    std::span<const std::int32_t> pairCounts;  // the pairs found for each trial
};

// How a scan is run: the threads that the sums of a large grid may use (at
// most 2), and how the sums are rounded (pair_sums.h): exactly as the method
// forms them, or plainly where no digit of them is printed.
inline constexpr int kScanThreads = 2;
struct ScanSettings {
    int threads = kScanThreads;
    SumRounding rounding = SumRounding::exact;
};

// The trial times, sums and pair counts of a grid that the resampling made
// (finite, running one way); the tables go into the storage. The grid is
// g_t(1..N+1), g_m(1..N+1); pairs are formed among points 1..N.
SymmetryScan computeSymmetry(std::span<const double> gridTimes, std::span<const double> gridMagnitudes,
                             std::int32_t intervals, double step, std::int32_t halfCount, ScanStorage& storage,
                             const ScanSettings& settings = {});
SymmetryScan computeSymmetry(const ResampledCurve& curve, ScanStorage& storage,
                             const ScanSettings& settings = {});

// sum + (a - b)^2, evaluated in extended precision and rounded to double:
// every pair's contribution to a symmetry sum is added this way. Inline, for
// the pair loops in other files.
inline double addSquaredDifference(double sum, double a, double b) {
    const linalg::Extended difference = static_cast<linalg::Extended>(a) - b;
    return linalg::store(sum + difference * difference);
}

}  // namespace kvw::analysis
