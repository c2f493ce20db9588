// The references that the analysis is checked against bit for bit: the
// method's resampling and scan written literally, the way to compare doubles,
// and the analysis run with storage of its own.
#pragma once

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/branch.h"
#include "analysis/symmetry_scan.h"
#include "analysis/table.h"
#include "analysis/working_storage.h"

namespace kvw::testing {

// The same double: identical bits, or both not a number.
inline bool sameBits(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// The grid magnitudes by the resampling rule itself: for each grid time x the
// first segment k with T(k) - D <= x < T(k+1) - D, else the last one, and
// linear interpolation, evaluated in extended precision.
inline std::vector<double> literalGridMagnitudes(std::span<const double> t, std::span<const double> m,
                                                 double dayOffset, std::span<const double> gridTimes) {
    using Extended = long double;
    const std::size_t n = t.size();
    std::vector<double> result;
    for (const double x : gridTimes) {
        std::size_t k = n - 2;
        for (std::size_t c = 0; c + 1 < n; ++c) {
            if (static_cast<Extended>(t[c]) - dayOffset <= x && x < static_cast<Extended>(t[c + 1]) - dayOffset) {
                k = c;
                break;
            }
        }
        const Extended a = static_cast<Extended>(t[k]) - dayOffset;
        const Extended b = static_cast<Extended>(t[k + 1]) - dayOffset;
        result.push_back(static_cast<double>(m[k] + (x - a) * (static_cast<Extended>(m[k + 1]) - m[k]) / (b - a)));
    }
    return result;
}

// A resampled curve with storage of its own (the curve points into it).
struct OwnResampling {
    analysis::ResamplingStorage storage;
    analysis::ResampledCurve curve;
};

inline OwnResampling resampleSeries(std::span<const double> t, std::span<const double> m) {
    analysis::WorkingStorage reserved;
    analysis::reserveWorkingStorage(reserved, t.size());
    OwnResampling own{std::move(reserved.resampling), {}};
    own.curve = analysis::selectBranchAndResample(t, m, own.storage);
    return own;
}

// A scan with storage of its own (the scan points into it).
struct OwnScan {
    analysis::ScanStorage storage;
    analysis::SymmetryScan scan;
};

inline OwnScan scanGrid(std::span<const double> gridTimes, std::span<const double> gridMagnitudes,
                        std::int32_t intervals, double step, std::int32_t halfCount) {
    OwnScan own;
    analysis::WorkingStorage reserved;
    analysis::reserveWorkingStorage(reserved, static_cast<std::size_t>(halfCount));  // K = nw + 3 <= n + 4
    own.storage = std::move(reserved.scan);
    own.scan = analysis::computeSymmetry(gridTimes, gridMagnitudes, intervals, step, halfCount, own.storage);
    return own;
}

// The symmetry scan written as the plain nested search over every pair: for
// i = 1..4K-1, X(i) = g_t(1) + (0.5 i) h; for p = 1..N with X(i) > g_t(p) and
// q = p+1..N: if | |g_t(q) - X(i)| - |g_t(p) - X(i)| | < tolerance, add
// (g_m(p) - g_m(q))^2 to the sum, rounded to double after each addition.

struct ReferenceScan {
    std::vector<double> trialTimes;
    std::vector<double> sums;
    std::vector<std::int32_t> pairCounts;
};

inline ReferenceScan nestedSearch(std::span<const double> gt, std::span<const double> gm, std::int32_t intervals,
                                  double step, std::int32_t halfCount) {
    using Extended = long double;
    const Extended tolerance = static_cast<Extended>(1.0e-7f);
    ReferenceScan scan;
    for (std::int32_t i = 1; i <= 4 * halfCount - 1; ++i) {
        const double x = static_cast<double>(gt[0] + (0.5L * i) * step);
        double sum = 0;
        std::int32_t pairs = 0;
        for (std::int32_t p = 1; p <= intervals; ++p) {
            if (x > gt[p - 1]) {
                for (std::int32_t q = p + 1; q <= intervals; ++q) {
                    const Extended test = std::fabs(std::fabs(gt[q - 1] - static_cast<Extended>(x)) -
                                                    std::fabs(gt[p - 1] - static_cast<Extended>(x)));
                    if (test < tolerance) {
                        const Extended difference = static_cast<Extended>(gm[p - 1]) - gm[q - 1];
                        sum = static_cast<double>(sum + difference * difference);
                        ++pairs;
                    }
                }
            }
        }
        scan.trialTimes.push_back(x);
        scan.sums.push_back(sum);
        scan.pairCounts.push_back(pairs);
    }
    return scan;
}

// The sums of a grid on which exactly the symmetric pairs pass (p + q = i + 2),
// trial by trial for trials first..last (from 1) of the 2N - 1, each pair in
// increasing order of p, rounded to double after each addition as in the
// nested search. Written to sums[i - 1].
inline void symmetricSums(std::span<const double> gm, std::int32_t first, std::int32_t last, std::span<double> sums) {
    using Extended = long double;
    const auto points = static_cast<std::int32_t>(gm.size());
    for (std::int32_t i = first; i <= last; ++i) {
        double sum = 0;
        for (std::int32_t p = std::max(1, i + 2 - points); 2 * p < i + 2; ++p) {
            const Extended difference = static_cast<Extended>(gm[p - 1]) - gm[i + 1 - p];
            sum = static_cast<double>(sum + difference * difference);
        }
        sums[static_cast<std::size_t>(i - 1)] = sum;
    }
}

}  // namespace kvw::testing
