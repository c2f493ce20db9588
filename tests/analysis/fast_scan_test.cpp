// The fast symmetry scan: its exact sums against the nested search, its bound
// against the exact sums on many grids, and its printed texts and minimum
// against the exact scan, including curves whose sums crowd the rounding
// boundaries of the eighth decimal and curves with exact ties at the minimum.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "analysis/fast_scan.h"
#include "analysis/minimum.h"
#include "analysis/symmetry_scan.h"
#include "support/references.h"
#include "support/whole_run.h"
#include "support/fields.h"

namespace kvw::analysis {
namespace {

struct Workspace {
    explicit Workspace(std::size_t points) : extents(fastScanExtentsForGrid(static_cast<std::int64_t>(points))) {
        transform.resize(extents.transform);
        twiddles.resize(extents.twiddles);
        radius.resize(extents.trials);
        exactTrials.resize(extents.trials);
    }
    FastScanBuffers buffers() { return {transform, twiddles, radius, exactTrials}; }
    FastScanExtents extents;
    std::vector<ExtendedComplex> transform;
    std::vector<ExtendedComplex> twiddles;
    std::vector<double> radius;
    std::vector<std::int32_t> exactTrials;
};

std::vector<double> exactSums(const std::vector<double>& magnitudes) {
    const std::size_t trials = 2 * magnitudes.size() - 1;
    std::vector<std::int32_t> every(trials);
    for (std::size_t i = 0; i < trials; ++i) {
        every[i] = static_cast<std::int32_t>(i + 1);
    }
    std::vector<double> sums(trials);
    exactSymmetricSums(magnitudes, every, sums);
    return sums;
}

using Generator = std::function<double(std::int32_t point, std::int32_t points, std::mt19937_64&)>;

struct Curve {
    std::string name;
    Generator magnitude;
};

std::vector<double> makeGrid(const Curve& curve, std::int32_t points, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::vector<double> m(static_cast<std::size_t>(points));
    for (std::int32_t a = 0; a < points; ++a) {
        m[static_cast<std::size_t>(a)] = curve.magnitude(a, points, random);
    }
    return m;
}

double gauss(std::mt19937_64& random, double sigma) {
    return std::normal_distribution<double>(0.0, sigma)(random);
}

// An eclipse of depth `depth` centred at `centre` (a fraction of the window).
Generator eclipse(double base, double depth, double centre, double noise) {
    return [=](std::int32_t a, std::int32_t points, std::mt19937_64& random) {
        const double x = (static_cast<double>(a) / points - centre) / 0.15;
        return base + depth * std::exp(-x * x) + gauss(random, noise);
    };
}

const std::vector<Curve>& curves() {
    static const std::vector<Curve> table = {
        {"eclipse, 4 mmag noise", eclipse(10.0, 0.75, 0.51, 0.004)},
        {"eclipse, no noise", eclipse(12.3, 0.4, 0.5, 0.0)},
        {"eclipse, 0.2 mag noise", eclipse(8.1, 1.5, 0.45, 0.2)},
        {"differential magnitudes around 0", eclipse(-0.05, 0.3, 0.55, 0.01)},
        {"large magnitudes", eclipse(1.0e6, 3.0, 0.5, 0.5)},
        {"tiny magnitudes", eclipse(1.0e-9, 3.0e-9, 0.5, 1.0e-10)},
        {"huge spread", eclipse(0.0, 1.0e120, 0.5, 1.0e119)},
        // Magnitudes on a grid of 1/32 moved by at most two units in the last place: the
        // sums sit on or next to odd multiples of 2^-9, which lie exactly on a
        // rounding boundary of the eighth decimal (0.001953125 and so on).
        {"sums on rounding boundaries",
         [](std::int32_t a, std::int32_t, std::mt19937_64& random) {
             return 10.0 + static_cast<double>(random() % 8) / 32 + std::ldexp(static_cast<double>(a % 3), -49);
         }},
        // Magnitudes 0 and 1: integer sums, many equal, ties at the minimum.
        {"ties of integer sums",
         [](std::int32_t, std::int32_t, std::mt19937_64& random) { return static_cast<double>(random() % 2); }},
        // 0, 1, 0, 1, ...: every even trial sums to exactly 0, so with K odd the
        // smallest sum is tied by many trials and the first, K + 1, is inside.
        {"alternating", [](std::int32_t a, std::int32_t, std::mt19937_64&) { return 10.0 + a % 2; }},
        {"constant", [](std::int32_t, std::int32_t, std::mt19937_64&) { return 11.0; }},
        {"symmetric about the centre",
         [](std::int32_t a, std::int32_t points, std::mt19937_64&) {
             return 9.0 + 0.001 * std::min(a, points - a);
         }},
    };
    return table;
}

TEST(FastScan, ExactSumsMatchTheNestedSearch) {
    std::mt19937_64 random(3);
    for (const std::int32_t halfCount : {1, 2, 5, 16, 61}) {
        const std::int32_t points = 2 * halfCount;
        Table times;
        Table magnitudes;
        for (std::int32_t j = 0; j <= points; ++j) {
            times.push_back(2459000.3 + j * 0.01 - 2459000);
            magnitudes.push_back(10.0 + gauss(random, 0.3));
        }
        const testing::ReferenceScan reference = testing::nestedSearch(times, magnitudes, points, 0.01, halfCount);
        const std::vector<double> grid(magnitudes.begin(), magnitudes.begin() + points);
        const std::vector<double> sums = exactSums(grid);
        // Every third trial alone: a list that is not contiguous.
        std::vector<std::int32_t> some;
        for (std::int32_t i = 1; i <= 2 * points - 1; i += 3) {
            some.push_back(i);
        }
        std::vector<double> someSums(sums.size(), -1.0);
        exactSymmetricSums(grid, some, someSums);
        for (std::size_t i = 0; i < sums.size(); ++i) {
            EXPECT_TRUE(testing::sameBits(sums[i], reference.sums[i])) << "K=" << halfCount << " trial " << i + 1;
            EXPECT_TRUE(i % 3 != 0 || testing::sameBits(someSums[i], reference.sums[i]));
        }
    }
}

// The exact sequential sum lies within the radius of the estimate on every
// trial of every grid.
TEST(FastScan, BoundHoldsOnManyGrids) {
    std::int64_t trialsChecked = 0;
    long double tightest = 0;
    for (const Curve& curve : curves()) {
        for (const std::int32_t points : {2, 4, 10, 64, 300, 2000, 6000}) {
            const std::vector<double> grid = makeGrid(curve, points, static_cast<std::uint64_t>(points));
            Workspace work(grid.size());
            std::vector<double> estimate(work.extents.trials);
            ASSERT_TRUE(estimateSymmetricSums(grid, estimate, work.buffers())) << curve.name;
            const std::vector<double> exact = exactSums(grid);
            for (std::size_t i = 0; i < exact.size(); ++i) {
                const long double distance = std::fabs(static_cast<long double>(exact[i]) - estimate[i]);
                ASSERT_LE(distance, work.radius[i]) << curve.name << ", N=" << points << ", trial " << i + 1;
                if (work.radius[i] > 0) {
                    tightest = std::max(tightest, distance / work.radius[i]);
                }
            }
            trialsChecked += static_cast<std::int64_t>(exact.size());
        }
    }
    EXPECT_GT(trialsChecked, 150000);
    EXPECT_GT(tightest, 1e-3L);  // the bound is not vacuous: some errors come near it
}

// What the run writes and reports: the F14.8 text and pair count of every
// trial, and the fit, bit for bit.
MinimumFit expectSameAsExactScan(const std::vector<double>& grid, const std::string& name,
                                   FastScanOutcome* outcome) {
    SCOPED_TRACE(name + ", N=" + std::to_string(grid.size()));
    const auto halfCount = static_cast<std::int32_t>(grid.size() / 2);
    const auto trials = 4 * halfCount - 1;
    Workspace work(grid.size());
    std::vector<double> fastSums(work.extents.trials);
    std::vector<std::int32_t> pairCounts(work.extents.trials);
    *outcome = fastSymmetricSums(grid, halfCount, fastSums, pairCounts, work.buffers(), 2);
    EXPECT_TRUE(outcome->used);
    const std::vector<double> exactSumsOfGrid = exactSums(grid);
    std::vector<double> times;
    for (std::int32_t i = 1; i <= trials; ++i) {
        const auto k = static_cast<std::size_t>(i - 1);
        times.push_back(0.001 * i);  // any times will do for the fit
        EXPECT_EQ(testing::fixedField(fastSums[k], 14, 8), testing::fixedField(exactSumsOfGrid[k], 14, 8))
            << "trial " << i;
        EXPECT_EQ(pairCounts[k], std::max(0, (i + 1) / 2 - std::max(1, i + 2 - 2 * halfCount) + 1));
    }
    const SymmetryScan fast{trials, times, fastSums, pairCounts};
    const SymmetryScan exact{trials, times, exactSumsOfGrid, pairCounts};
    const MinimumFit a = fitMinimum(fast, halfCount, halfCount - 3, 2459000);
    const MinimumFit b = fitMinimum(exact, halfCount, halfCount - 3, 2459000);
    EXPECT_EQ(a.improper, b.improper);
    EXPECT_EQ(a.smallestTrial, b.smallestTrial);
    for (const auto& [x, y] : {std::pair{a.meanValue, b.meanValue}, {a.minimumTime, b.minimumTime}, {a.error, b.error}}) {
        EXPECT_TRUE(testing::sameBits(x, y));
    }
    return b;
}

TEST(FastScan, SameTextsAndMinimumAsTheExactScan) {
    for (const Curve& curve : curves()) {
        std::int64_t exactTrials = 0;
        std::int64_t trials = 0;
        for (const std::int32_t points : {2, 8, 26, 202, 1000, 4102}) {
            for (std::uint64_t seed = 1; seed <= 2; ++seed) {
                FastScanOutcome outcome;
                const MinimumFit report = expectSameAsExactScan(makeGrid(curve, points, seed), curve.name, &outcome);
                if (curve.name == "alternating" && points > 2 && (points / 2) % 2 == 1) {
                    EXPECT_EQ(report.smallestTrial, points / 2 + 1);
                    EXPECT_FALSE(report.improper);
                }
                exactTrials += outcome.exactTrials;
                trials += 2 * points - 1;
            }
        }
        if (curve.name == "sums on rounding boundaries") {
            EXPECT_GT(exactTrials, trials / 5);  // a quarter of them lie on or at a boundary
        }
    }
}

// The program itself on a curve large enough for the fast scan: the summary
// file holds the exact sums' texts.
TEST(FastScan, WholeRunWritesTheExactSums) {
    std::mt19937_64 random(11);
    std::string observations;
    const int n = 2500;
    for (int k = 0; k < n; ++k) {
        const double t = 2459000.25 + 0.3 * k / (n - 1);
        const double x = (t - 2459000.40) / 0.045;
        char line[64];
        std::snprintf(line, sizeof line, "%.6f %.4f\n", t, 10.0 + 0.75 * std::exp(-x * x) + gauss(random, 0.004));
        observations += line;
    }
    testing::TempDir dir;
    dir.write("curve.dat", observations);
    testing::RunOptions options;
    options.input = "curve.dat\n";
    const testing::RunResult run = testing::runKvw(dir.path(), options);
    ASSERT_EQ(run.status, 0) << run.errors;

    std::vector<double> times;
    std::vector<double> magnitudes;
    for (std::size_t start = 0; start < observations.size();) {
        const std::size_t end = observations.find('\n', start);
        double t = 0;
        double m = 0;
        std::sscanf(observations.c_str() + start, "%lf %lf", &t, &m);
        times.push_back(t);
        magnitudes.push_back(m);
        start = end + 1;
    }
    const testing::OwnResampling own = testing::resampleSeries(times, magnitudes);
    const ResampledCurve& curve = own.curve;
    ASSERT_GE(curve.intervals, 4096);
    const std::vector<double> sums =
        exactSums(std::vector<double>(curve.gridMagnitudes.begin(), curve.gridMagnitudes.begin() + curve.intervals));
    std::string expected;
    for (std::int32_t i = 1; i <= 4 * curve.halfCount - 1; ++i) {
        const std::int32_t pairs = std::max(0, (i + 1) / 2 - std::max(1, i + 2 - curve.intervals) + 1);
        expected += testing::integerField(i, 5) + testing::integerField(pairs, 5) + " " +
                    testing::fixedField(sums[static_cast<std::size_t>(i - 1)], 14, 8) + "\r\n";
    }
    EXPECT_TRUE(dir.read("KWEESUM.DAT") == expected);
}

}  // namespace
}  // namespace kvw::analysis
