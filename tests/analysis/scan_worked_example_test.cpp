// The symmetry scan on the five-point worked example's grid, on a window of
// length zero, and the pair counts of an ordinary grid.
#include <algorithm>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/symmetry_scan.h"
#include "support/references.h"

namespace {

using kvw::analysis::kPairTolerance;
using kvw::analysis::SymmetryScan;
using kvw::analysis::Table;
using kvw::testing::OwnScan;
using kvw::testing::scanGrid;

static_assert(static_cast<double>(kPairTolerance) == 1.0000000116860974e-07,
              "the pair tolerance is held in single precision");

// 17 points at j/16, magnitudes 10.0 rising by 1/8 a step to 11.0 at 0.5.
OwnScan workedExampleScan() {
    Table times;
    Table magnitudes;
    for (int j = 0; j <= 16; ++j) {
        times.push_back(j / 16.0);
        magnitudes.push_back(10.0 + std::min(j, 16 - j) / 8.0);
    }
    return scanGrid(times, magnitudes, 16, 0.0625, 8);
}

TEST(SymmetryScan, WorkedExampleTable) {
    const OwnScan own = workedExampleScan();
    const SymmetryScan& scan = own.scan;
    ASSERT_EQ(scan.trialCount, 31);
    ASSERT_EQ(scan.sums.size(), 31u);
    ASSERT_EQ(scan.pairCounts.size(), 31u);
    struct Row {
        int trial;
        int pairs;
        double sum;
    };
    const std::vector<Row> rows = {{1, 1, 0.015625}, {2, 1, 0.0625},    {9, 5, 2.078125}, {15, 8, 0.125},
                                   {16, 7, 0.0},     {17, 7, 0.109375}, {30, 0, 0.0},     {31, 0, 0.0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.trial);
        EXPECT_EQ(scan.pairCounts[row.trial - 1], row.pairs);
        EXPECT_EQ(scan.sums[row.trial - 1], row.sum);
    }
    for (int i = 1; i <= 31; ++i) {
        EXPECT_EQ(scan.trialTimes[i - 1], i / 32.0) << "trial " << i;
    }
}

TEST(SymmetryScan, WindowOfLengthZeroFindsNoPairs) {
    const Table times(13, 0.0);
    const Table magnitudes = {11, 10.5, 10, 11, 10.5, 10, 11, 10.5, 10, 11, 10.5, 10, 11};
    const OwnScan own = scanGrid(times, magnitudes, 12, 0.0, 6);
    const SymmetryScan& scan = own.scan;
    ASSERT_EQ(scan.trialCount, 23);
    EXPECT_EQ(std::vector<double>(scan.sums.begin(), scan.sums.end()), std::vector<double>(23, 0.0));
    EXPECT_EQ(std::vector<std::int32_t>(scan.pairCounts.begin(), scan.pairCounts.end()),
              std::vector<std::int32_t>(23, 0));
    EXPECT_EQ(std::vector<double>(scan.trialTimes.begin(), scan.trialTimes.end()), std::vector<double>(23, 0.0));
}

TEST(SymmetryScan, PairCountsOfAnOrdinaryGrid) {
    // A grid relative to a day offset, with a step far above the tolerance:
    // trial i pairs the points p, q (from 0) with p + q = i among 0..N-1, that
    // is max(0, i - N + 1) <= p < i/2.
    for (const std::int32_t halfCount : {4, 10, 17}) {
        const std::int32_t intervals = 2 * halfCount;
        const double start = 0.3712;
        const double step = 0.0123;
        Table times;
        Table magnitudes;
        for (int j = 0; j <= intervals; ++j) {
            times.push_back(static_cast<double>(start + j * static_cast<long double>(step)));
            magnitudes.push_back(10.0 + 0.01 * j * j);
        }
        const OwnScan own = scanGrid(times, magnitudes, intervals, step, halfCount);
        const SymmetryScan& scan = own.scan;
        ASSERT_EQ(scan.trialCount, 4 * halfCount - 1);
        for (std::int32_t i = 1; i <= scan.trialCount; ++i) {
            const int low = std::max(0, i - intervals + 1);
            const int high = (i + 1) / 2;  // the first whole number not below i/2
            EXPECT_EQ(scan.pairCounts[i - 1], std::max(0, high - low)) << "K " << halfCount << ", trial " << i;
        }
        EXPECT_EQ(scan.pairCounts.front(), 1);
        EXPECT_EQ(scan.sums[scan.trialCount - 1], 0.0);
        EXPECT_EQ(scan.sums[scan.trialCount - 2], 0.0);
    }
}

}  // namespace
