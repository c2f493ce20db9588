// Minimum refinement: the smallest sum among trials K..3K, the improper
// minimum, the parabola through the smallest sum and its neighbours, and the
// printed fields of the report.
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/minimum.h"
#include "support/fields.h"

namespace {

using kvw::analysis::fitMinimum;
using kvw::analysis::MinimumFit;
using kvw::analysis::SymmetryScan;
using kvw::testing::fixedField;

// The symmetry sums of the five-point worked example (grid step 1/16,
// magnitudes rising by 1/8 a step to 11.0 at 0.5), trial by trial, from
// the sum of squared differences over the pairs p + q = i of grid points 0..15.
const std::vector<double> kWorkedSums = {
    1 / 64.0,  1 / 16.0, 5 / 32.0,  5 / 16.0,  35 / 64.0, 7 / 8.0,   21 / 16.0, 15 / 8.0,
    133 / 64.0, 2.0,     55 / 32.0, 21 / 16.0, 55 / 64.0, 7 / 16.0,  1 / 8.0,   0.0,
    7 / 64.0,  3 / 8.0,  23 / 32.0, 17 / 16.0, 85 / 64.0, 23 / 16.0, 21 / 16.0, 7 / 8.0,
    35 / 64.0, 5 / 16.0, 5 / 32.0,  1 / 16.0,  1 / 64.0,  0.0,       0.0};

// A scan of 4K - 1 trials at X(i) = (0.5 i) / 16, with tables of its own.
struct Scan {
    std::int32_t trialCount = 0;
    std::vector<double> trialTimes;
    std::vector<double> sums;
    std::vector<std::int32_t> pairCounts;
    operator SymmetryScan() const { return {trialCount, trialTimes, sums, pairCounts}; }
};

Scan makeScan(std::int32_t halfCount, const std::vector<double>& sums) {
    Scan scan;
    scan.trialCount = 4 * halfCount - 1;
    for (std::int32_t i = 1; i <= scan.trialCount; ++i) {
        scan.trialTimes.push_back((0.5 * i) * 0.0625);
    }
    scan.sums = sums;
    scan.pairCounts.assign(static_cast<std::size_t>(scan.trialCount), 0);
    return scan;
}

TEST(MinimumRefinement, WorkedExample) {
    const MinimumFit r = fitMinimum(makeScan(8, kWorkedSums), 8, 5, 0);
    EXPECT_FALSE(r.improper);
    EXPECT_EQ(r.smallestTrial, 16);
    // Through (15/32, 1/8), (1/2, 0), (17/32, 7/64): A = 120, B = -481/4, C = 241/8.
    EXPECT_NEAR(r.a, 120.0, 1e-9);
    EXPECT_NEAR(r.b, -120.25, 1e-9);
    EXPECT_NEAR(r.c, 30.125, 1e-9);
    EXPECT_EQ(fixedField(r.meanValue, 9, 6), "-0.000130");
    EXPECT_EQ(fixedField(r.minimumTime, 14, 6), "      0.501042");
    EXPECT_EQ(fixedField(r.error, 14, 6), "      0.002083");
}

TEST(MinimumRefinement, FourBranchPointsCountAsFive) {
    const Scan scan = makeScan(8, kWorkedSums);
    const double five = fitMinimum(scan, 8, 5, 0).error;
    EXPECT_EQ(fitMinimum(scan, 8, 4, 0).error, five);
    // Z - 1 doubles from five points to six: the error shrinks by sqrt(2).
    EXPECT_NEAR(fitMinimum(scan, 8, 6, 0).error, five / std::sqrt(2.0), 1e-15);
}

TEST(MinimumRefinement, TimeOfTenMillionDaysOverflowsItsField) {
    const Scan scan = makeScan(8, kWorkedSums);
    EXPECT_EQ(fixedField(fitMinimum(scan, 8, 5, 2459000).minimumTime, 14, 6), "2459000.501042");
    EXPECT_EQ(fixedField(fitMinimum(scan, 8, 5, 9999999).minimumTime, 14, 6), "9999999.501042");
    EXPECT_EQ(fixedField(fitMinimum(scan, 8, 5, 10000000).minimumTime, 14, 6), "**************");
}

struct SearchCase {
    const char* name;
    std::map<int, double> sums;  // trial -> sum; every other trial has 1.0
    bool improper;
    int smallestTrial;
};

TEST(MinimumRefinement, SmallestSumInTheCentralHalf) {
    // K = 8: the search covers trials 8 to 24.
    const std::vector<SearchCase> cases = {
        {"at trial K", {{8, 0.5}}, true, 8},
        {"at trial 3K", {{24, 0.5}}, true, 24},
        {"tie of trial K and an inside trial", {{8, 0.5}, {12, 0.5}}, true, 8},
        {"tie of an inside trial and trial 3K", {{12, 0.5}, {24, 0.5}}, false, 12},
        {"tie of two inside trials", {{20, 0.5}, {13, 0.5}}, false, 13},
        {"smaller sums outside the range", {{7, 0.25}, {25, 0.0}, {17, 0.5}}, false, 17},
        {"all sums equal", {}, true, 8},
        {"just inside", {{9, 0.5}}, false, 9},
    };
    for (const SearchCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<double> sums(31, 1.0);
        for (const auto& [trial, value] : c.sums) {
            sums[static_cast<std::size_t>(trial - 1)] = value;
        }
        const MinimumFit r = fitMinimum(makeScan(8, sums), 8, 5, 0);
        EXPECT_EQ(r.improper, c.improper);
        EXPECT_EQ(r.smallestTrial, c.smallestTrial);
        if (!c.improper) {
            // Symmetric neighbours: the vertex lies on the trial, with the value 0.5.
            EXPECT_NEAR(r.minimumTime, c.smallestTrial / 32.0, 1e-12);
            EXPECT_NEAR(r.meanValue, 0.5, 1e-12);
        }
    }
}

TEST(MinimumRefinement, ParabolaOpeningDownwardsIsReported) {
    // Trial times out of order: (0, 1), (2, 0), (1, 0.75) lie on
    // S = -0.25 T^2 + 1, whose vertex is a maximum at T = 0 with the value 1;
    // the error is sqrt(|(1 * -1 - 0) / ((-0.25 * -1) * 0.25)|) = 4.
    std::vector<double> sums(31, 2.0);
    sums[14] = 1.0;
    sums[15] = 0.0;
    sums[16] = 0.75;
    Scan scan = makeScan(8, sums);
    scan.trialTimes[14] = 0.0;
    scan.trialTimes[15] = 2.0;
    scan.trialTimes[16] = 1.0;
    const MinimumFit r = fitMinimum(scan, 8, 5, 100);
    EXPECT_FALSE(r.improper);
    EXPECT_EQ(r.smallestTrial, 16);
    EXPECT_NEAR(r.a, -0.25, 1e-14);
    EXPECT_NEAR(r.b, 0.0, 1e-14);
    EXPECT_NEAR(r.c, 1.0, 1e-14);
    EXPECT_NEAR(r.meanValue, 1.0, 1e-13);
    EXPECT_NEAR(r.minimumTime, 100.0, 1e-13);
    EXPECT_NEAR(r.error, 4.0, 1e-12);
}

}  // namespace
