// The symmetry scan written as the plain nested search over every pair: for
// i = 1..4K-1, X(i) = g_t(1) + (0.5 i) h; for p = 1..N with X(i) > g_t(p) and
// q = p+1..N: if | |g_t(q) - X(i)| - |g_t(p) - X(i)| | < tolerance, add
// (g_m(p) - g_m(q))^2 to the sum, rounded to double after each addition.
// It is the reference that the program's scan must match bit for bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/table.h"

namespace kvw::testing {

struct ReferenceScan {
    std::vector<double> trialTimes;
    std::vector<double> sums;
    std::vector<std::int32_t> pairCounts;
};

inline ReferenceScan nestedSearch(const analysis::Table& gt, const analysis::Table& gm, std::int32_t intervals,
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

}  // namespace kvw::testing
