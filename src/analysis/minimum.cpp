#include "analysis/minimum.h"

#include <array>
#include <cmath>

#include "base/precondition.h"
#include "linalg/extended.h"
#include "linalg/lu.h"

namespace kvw::analysis {

using linalg::Extended;
using linalg::store;

MinimumFit fitMinimum(const SymmetryScan& scan, std::int32_t halfCount, std::int32_t branchPoints,
                      std::int32_t dayOffset) {
    require(halfCount >= 1 && scan.trialCount == 4 * halfCount - 1 &&
                scan.sums.size() >= static_cast<std::size_t>(scan.trialCount) &&
                scan.trialTimes.size() >= scan.sums.size(),
            "the 4K - 1 trials of a scan");
    const auto [low, high] = searchedTrials(halfCount);
    auto sum = [&scan](std::int32_t trial) { return scan.sums[static_cast<std::size_t>(trial - 1)]; };

    double smallest = sum(low);
    for (std::int32_t i = low; i <= high; ++i) {
        if (sum(i) < smallest) {
            smallest = sum(i);
        }
    }
    MinimumFit fit;
    fit.smallestTrial = low;  // kept when no sum equals the smallest (a NaN at trial K)
    for (std::int32_t i = low; i <= high; ++i) {
        if (sum(i) == smallest) {
            fit.smallestTrial = i;
            break;
        }
    }
    if (fit.smallestTrial == low || fit.smallestTrial == high) {
        fit.improper = true;
        return fit;
    }

    constexpr int kOrder = 3;
    std::array<double, kOrder * kOrder> matrix{};
    std::array<double, kOrder> rhs{};
    for (int r = 0; r < kOrder; ++r) {
        const std::int32_t trial = fit.smallestTrial - 1 + r;
        const double t = scan.trialTimes[static_cast<std::size_t>(trial - 1)];
        matrix[static_cast<std::size_t>(r)] = store(static_cast<Extended>(t) * t);
        matrix[static_cast<std::size_t>(r + kOrder)] = t;
        matrix[static_cast<std::size_t>(r + 2 * kOrder)] = 1.0;
        rhs[static_cast<std::size_t>(r)] = sum(trial);
    }
    std::array<int, kOrder> pivotRows{};
    double parity = 0;
    fit.singularRows = linalg::ludcmp(matrix, kOrder, kOrder, pivotRows, parity);
    linalg::lubksb(matrix, kOrder, kOrder, pivotRows, rhs);
    const Extended a = fit.a = rhs[0];
    const Extended b = fit.b = rhs[1];
    const Extended c = fit.c = rhs[2];

    fit.meanValue = store(c - (b * b) / (4 * a));
    fit.minimumTime = store(dayOffset - (0.5L * b) / a);
    // Four points in the branch count as five: Z = 1 would divide by zero.
    const std::int32_t points = branchPoints == 4 ? 5 : branchPoints;
    const double z = store(points * 0.25L);
    fit.error = store(std::sqrt(std::fabs((c * (4 * a) - b * b) / ((a * (4 * a)) * (z - 1.0L)))));
    return fit;
}

}  // namespace kvw::analysis
