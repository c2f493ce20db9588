// The symmetry scan must give, bit for bit, what the plain nested search over
// every pair gives (support/references.h): the same pairs, summed in the same
// order with the same rounding.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "analysis/branch.h"
#include "analysis/symmetry_scan.h"
#include "support/references.h"

namespace kvw::analysis {
namespace {

using Extended = long double;
using testing::literalGridMagnitudes;
using testing::nestedSearch;
using testing::ReferenceScan;
using testing::sameBits;

struct Grid {
    std::string name;
    Table times;
    Table magnitudes;
    std::int32_t halfCount = 0;
    double step = 0;
};

// Returns the number of pairs found over all trials.
std::int64_t expectSameAsNested(const Grid& grid) {
    SCOPED_TRACE(grid.name);
    const std::int32_t intervals = 2 * grid.halfCount;
    const ReferenceScan expected = nestedSearch(grid.times, grid.magnitudes, intervals, grid.step, grid.halfCount);
    const testing::OwnScan own = testing::scanGrid(grid.times, grid.magnitudes, intervals, grid.step, grid.halfCount);
    const SymmetryScan& actual = own.scan;
    std::int64_t pairs = 0;
    EXPECT_EQ(actual.trialCount, static_cast<std::int32_t>(expected.sums.size()));
    if (actual.trialCount != static_cast<std::int32_t>(expected.sums.size())) {
        return pairs;
    }
    for (std::size_t i = 0; i < expected.sums.size(); ++i) {
        EXPECT_TRUE(sameBits(actual.trialTimes[i], expected.trialTimes[i])) << "trial time " << i + 1;
        EXPECT_EQ(actual.pairCounts[i], expected.pairCounts[i]) << "pairs of trial " << i + 1;
        EXPECT_TRUE(sameBits(actual.sums[i], expected.sums[i]))
            << "sum of trial " << i + 1 << ": " << actual.sums[i] << " vs " << expected.sums[i];
        pairs += expected.pairCounts[i];
    }
    return pairs;
}

// The pairs of an ordinary grid: trial i pairs p and i + 2 - p, 1 <= p < q <= N.
std::int64_t symmetricPairTotal(std::int32_t halfCount) {
    const std::int32_t intervals = 2 * halfCount;
    std::int64_t total = 0;
    for (std::int32_t i = 1; i <= 4 * halfCount - 1; ++i) {
        for (std::int32_t m = std::max(0, i - intervals + 1); 2 * m < i; ++m) {
            ++total;
        }
    }
    return total;
}

// A grid as the resampling makes it: g_t(j+1) = (start + j h) - D.
Grid evenGrid(std::string name, double start, double step, std::int32_t dayOffset, std::int32_t halfCount,
              std::mt19937_64& random, double noise = 0.01) {
    Grid grid;
    grid.name = std::move(name);
    grid.halfCount = halfCount;
    grid.step = step;
    std::normal_distribution<double> scatter(0.0, noise);
    const std::int32_t points = 2 * halfCount + 1;
    for (std::int32_t j = 0; j < points; ++j) {
        grid.times.push_back(static_cast<double>((start + static_cast<Extended>(j) * step) - dayOffset));
        const double phase = (j - halfCount * 0.9) / halfCount;
        grid.magnitudes.push_back(10.0 + 0.7 * std::exp(-8 * phase * phase) + scatter(random));
    }
    return grid;
}

TEST(SymmetryScanEquivalence, EvenGridsWithJulianDatesAndNoise) {
    std::mt19937_64 random(20261209);
    for (const std::int32_t halfCount : {4, 5, 9, 33, 120}) {
        for (const double start : {2459000.37, 0.0, -3.7, 1024.12, 2455000.123456}) {
            const double span = 0.05 + 0.3 * (halfCount % 7);
            const auto dayOffset = static_cast<std::int32_t>(start);
            EXPECT_EQ(expectSameAsNested(evenGrid("even K=" + std::to_string(halfCount) + " start=" +
                                                  std::to_string(start),
                                              start, span / (2 * halfCount), dayOffset, halfCount, random)),
                  symmetricPairTotal(halfCount));
        }
    }
}

TEST(SymmetryScanEquivalence, ShortWindowsWhereUnsymmetricPairsPass) {
    std::mt19937_64 random(7);
    std::int64_t mostPairs = 0;
    // Half a step near, at and below the tolerance, and far below it.
    for (const double step : {1.0e-9, 5.0e-8, 1.0e-7, 1.9e-7, 2.0e-7, 2.0000000233721948e-07, 2.1e-7, 2.4e-7, 3.0e-7,
                              4.0e-7}) {
        for (const double start : {0.75, 1024.12, 2455000.3}) {
            mostPairs = std::max(mostPairs, expectSameAsNested(evenGrid(
                "short h=" + std::to_string(step) + " start=" + std::to_string(start), start, step,
                static_cast<std::int32_t>(start), 24, random)));
        }
    }
    // The shortest windows let many more than the symmetric pairs through.
    EXPECT_GT(mostPairs, 10 * symmetricPairTotal(24));
}

TEST(SymmetryScanEquivalence, WindowOfLengthZeroHasNoPairs) {
    std::mt19937_64 random(3);
    for (const double start : {0.0, 2459000.5, -12.25}) {
        Grid grid = evenGrid("zero window", start, 0.0, static_cast<std::int32_t>(start), 11, random);
        expectSameAsNested(grid);
        const testing::OwnScan own = testing::scanGrid(grid.times, grid.magnitudes, 22, 0.0, 11);
        const SymmetryScan& scan = own.scan;
        for (std::int32_t i = 0; i < scan.trialCount; ++i) {
            EXPECT_EQ(scan.pairCounts[static_cast<std::size_t>(i)], 0);
            EXPECT_EQ(scan.sums[static_cast<std::size_t>(i)], 0.0);
        }
    }
}

TEST(SymmetryScanEquivalence, GridsRunningBackwards) {
    std::mt19937_64 random(11);
    for (const double step : {-0.01, -3.0e-3, -2.0e-7, -1.0e-7, -1.0e-9}) {
        expectSameAsNested(evenGrid("backwards h=" + std::to_string(step), 2459000.8, step, 2459000, 17, random));
    }
}

// Whole curves through the resampling: realistic eclipses of a few to a few
// hundred observations, with noise, at Julian dates and with unsorted times.
TEST(SymmetryScanEquivalence, ResampledEclipses) {
    std::mt19937_64 random(2459000);
    std::normal_distribution<double> noise(0.0, 0.005);
    for (const std::int32_t n : {3, 5, 8, 21, 60, 150}) {
        for (const bool unsorted : {false, true}) {
            std::vector<double> times;
            std::vector<double> magnitudes;
            const double begin = 2459000.2 + 0.01 * n;
            const double centre = begin + 0.11;
            for (std::int32_t k = 0; k < n; ++k) {
                const double t = begin + 0.25 * k / (n - 1);
                const double x = (t - centre) / 0.05;
                times.push_back(t);
                magnitudes.push_back(11.0 + 0.9 * std::exp(-x * x) + noise(random));
            }
            if (unsorted && n > 4) {
                std::swap(times[1], times[n / 2]);
            }
            const testing::OwnResampling own = testing::resampleSeries(times, magnitudes);
            const ResampledCurve& curve = own.curve;
            Grid grid;
            grid.name = "eclipse n=" + std::to_string(n) + (unsorted ? " unsorted" : "");
            grid.times.assign(curve.gridTimes.begin(), curve.gridTimes.end());
            grid.magnitudes.assign(curve.gridMagnitudes.begin(), curve.gridMagnitudes.end());
            grid.halfCount = curve.halfCount;
            grid.step = curve.step;
            expectSameAsNested(grid);
        }
    }
}

// The resampling must find the same segments as the literal search, for
// sorted times, times with repeats, and times out of order.
TEST(ResamplingEquivalence, SegmentSearchMatchesTheLiteralSearch) {
    std::mt19937_64 random(99);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int compared = 0;
    for (int round = 0; round < 300; ++round) {
        std::vector<double> times;
        std::vector<double> magnitudes;
        const std::int32_t n = 3 + round % 40;
        double t = 2459000.0 + unit(random);
        for (std::int32_t k = 0; k < n; ++k) {
            times.push_back(t);
            magnitudes.push_back(10.0 + unit(random));
            const int kind = round % 3;  // sorted, sorted with repeats, shuffled
            t += (kind == 1 && unit(random) < 0.3) ? 0.0 : 0.001 + 0.01 * unit(random);
        }
        if (round % 3 == 2) {
            std::shuffle(times.begin() + 1, times.end(), random);
        }
        const testing::OwnResampling own = testing::resampleSeries(times, magnitudes);
        if (!own.curve.usable()) {
            continue;  // a curve that cannot be resampled (a division by zero)
        }
        const ResampledCurve& curve = own.curve;
        const std::vector<double> expected = literalGridMagnitudes(times, magnitudes, curve.dayOffset, curve.gridTimes);
        ASSERT_EQ(expected.size(), curve.gridMagnitudes.size());
        for (std::size_t j = 0; j < expected.size(); ++j) {
            ASSERT_TRUE(sameBits(expected[j], curve.gridMagnitudes[j])) << "round " << round << " point " << j + 1;
        }
        ++compared;
    }
    EXPECT_GT(compared, 200);
}

}  // namespace
}  // namespace kvw::analysis
