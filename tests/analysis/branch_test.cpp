// Branch selection and even resampling: the deepest point, the crossing of
// the fainter end level, the window and the grid, on small hand-made curves
// whose grids are exact in binary.
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/branch.h"
#include "support/references.h"

namespace {

using kvw::analysis::ResampledCurve;
using kvw::testing::literalGridMagnitudes;
using kvw::testing::OwnResampling;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

OwnResampling resample(const std::vector<double>& t, const std::vector<double>& m) {
    return kvw::testing::resampleSeries(t, m);
}

std::vector<double> asVector(std::span<const double> table) { return {table.begin(), table.end()}; }

// Values v(0) .. v(count - 1).
template <typename F>
std::vector<double> generate(int count, F v) {
    std::vector<double> values;
    for (int j = 0; j < count; ++j) {
        values.push_back(v(j));
    }
    return values;
}

TEST(BranchSelection, WorkedExample) {
    const OwnResampling ownC = resample({0.0, 0.25, 0.5, 0.75, 1.0}, {10.0, 10.5, 11.0, 10.5, 10.0});
    const ResampledCurve& c = ownC.curve;
    EXPECT_EQ(c.deepestIndex, 3);
    EXPECT_EQ(c.crossingLevel, 10.0);
    EXPECT_EQ(c.crossingIndex, 1);
    EXPECT_EQ(c.crossingTime, 0.0);
    EXPECT_EQ(c.branchPoints, 5);
    EXPECT_EQ(c.halfCount, 8);
    EXPECT_EQ(c.intervals, 16);
    EXPECT_EQ(c.step, 0.0625);
    EXPECT_EQ(c.dayOffset, 0);
    EXPECT_EQ(asVector(c.gridTimes), generate(17, [](int j) { return j / 16.0; }));
    EXPECT_EQ(asVector(c.gridMagnitudes), generate(17, [](int j) { return 10.0 + std::min(j, 16 - j) / 8.0; }));
}

TEST(BranchSelection, LastObservationFainterCrossesOnTheDescendingBranch) {
    // L = 10.5 is reached between observations 2 and 3, at 1 + 0.25 / 0.5.
    const OwnResampling ownC = resample({0, 1, 2, 3, 4, 5}, {10.0, 10.25, 10.75, 11.5, 10.75, 10.5});
    const ResampledCurve& c = ownC.curve;
    EXPECT_EQ(c.deepestIndex, 4);
    EXPECT_EQ(c.crossingLevel, 10.5);
    EXPECT_EQ(c.crossingIndex, 2);
    EXPECT_EQ(c.crossingTime, 1.5);
    EXPECT_EQ(c.branchPoints, 5);
    EXPECT_EQ(c.windowStart, 1.5);
    EXPECT_EQ(c.windowEnd, 5.0);
    EXPECT_EQ(c.step, 3.5 / 16);
    EXPECT_EQ(asVector(c.gridTimes), generate(17, [](int j) { return 1.5 + j * (7.0 / 32); }));
    const std::vector<int> in128ths = {1344, 1358, 1372, 1391, 1412, 1433, 1454, 1469, 1448,
                                       1427, 1406, 1385, 1372, 1365, 1358, 1351, 1344};
    EXPECT_EQ(asVector(c.gridMagnitudes), generate(17, [&](int j) { return in128ths[j] / 128.0; }));
}

TEST(BranchSelection, FirstFainterThanLastAndSecondFainterStillTakesTheWholeSeries) {
    const OwnResampling ownC = resample({0, 1, 2, 3}, {10.5, 10.75, 11.0, 10.25});
    const ResampledCurve& c = ownC.curve;
    EXPECT_EQ(c.crossingLevel, 10.5);
    EXPECT_EQ(c.crossingIndex, 1);
    EXPECT_EQ(c.crossingTime, 0.0);
    EXPECT_EQ(c.branchPoints, 4);
    EXPECT_EQ(c.halfCount, 7);
    EXPECT_EQ(c.windowStart, 0.0);
    EXPECT_EQ(c.windowEnd, 3.0);
    EXPECT_NEAR(c.step, 3.0 / 14, 1e-16);
    EXPECT_EQ(c.gridMagnitudes.front(), 10.5);
    EXPECT_NEAR(c.gridMagnitudes.back(), 10.25, 1e-14);
}

TEST(BranchSelection, DeepestAtTheLastObservationHasNoCrossing) {
    const OwnResampling ownC = resample({0, 1, 2}, {10, 10.5, 11});
    const ResampledCurve& c = ownC.curve;
    EXPECT_EQ(c.deepestIndex, 3);
    EXPECT_EQ(c.crossingIndex, 3);
    EXPECT_EQ(c.crossingTime, 2.0);
    EXPECT_EQ(c.branchPoints, 4);
    EXPECT_EQ(c.halfCount, 7);
    EXPECT_EQ(c.intervals, 14);
    EXPECT_EQ(c.windowStart, 0.0);
    EXPECT_EQ(c.windowEnd, 2.0);
    ASSERT_EQ(c.gridTimes.size(), 15u);
    EXPECT_NEAR(c.gridTimes.back(), 2.0, 1e-15);
    EXPECT_NEAR(c.gridMagnitudes.back(), 11.0, 1e-14);
}

TEST(BranchSelection, TieAtTheDeepestMagnitudeGoesToTheLaterObservation) {
    const OwnResampling ownC = resample({0, 1, 2, 3, 4}, {10, 11, 10.5, 11, 10.25});
    const ResampledCurve& c = ownC.curve;
    EXPECT_EQ(c.deepestIndex, 4);
    EXPECT_EQ(c.crossingIndex, 1);
    EXPECT_EQ(c.crossingTime, 0.25);
    EXPECT_EQ(c.branchPoints, 5);
}

TEST(BranchSelection, NegativeFirstTimeTruncatesTowardZero) {
    const OwnResampling ownC = resample({-3.7, -3.2, -2.7}, {10.5, 11, 10});
    const ResampledCurve& c = ownC.curve;
    EXPECT_EQ(c.dayOffset, -3);
    EXPECT_EQ(c.windowStart, -3.7);
    EXPECT_NEAR(c.gridTimes.front(), -0.7, 1e-15);
    EXPECT_NEAR(c.gridTimes.back(), 0.3, 1e-15);
    EXPECT_NEAR(c.gridMagnitudes[6], 11.0, 1e-14);  // -3.7 + 6/12 = -3.2
}

TEST(BranchSelection, JulianDatesGiveGridTimesAfterTheDayOffset) {
    const OwnResampling ownC = resample(generate(5, [](int k) { return 2459000.25 + 0.25 * k; }), {10, 10.5, 11, 10.5, 10});
    const ResampledCurve& c = ownC.curve;
    EXPECT_EQ(c.dayOffset, 2459000);
    EXPECT_EQ(c.windowStart, 2459000.25);
    EXPECT_EQ(c.windowEnd, 2459001.25);
    EXPECT_EQ(c.step, 0.0625);
    EXPECT_EQ(asVector(c.gridTimes), generate(17, [](int j) { return 0.25 + j / 16.0; }));
    EXPECT_EQ(asVector(c.gridMagnitudes), generate(17, [](int j) { return 10.0 + std::min(j, 16 - j) / 8.0; }));
}

TEST(BranchSelection, WindowOfLengthZero) {
    // The first observation is the fainter end and the deepest: no crossing,
    // and the last segment reaches L = 11 at T(1) itself.
    const OwnResampling ownC = resample({0, 1}, {11, 10});
    const ResampledCurve& c = ownC.curve;
    EXPECT_EQ(c.crossingIndex, 2);
    EXPECT_EQ(c.branchPoints, 3);
    EXPECT_EQ(c.intervals, 12);
    EXPECT_EQ(c.step, 0.0);
    EXPECT_EQ(asVector(c.gridTimes), std::vector<double>(13, 0.0));
    EXPECT_EQ(asVector(c.gridMagnitudes), std::vector<double>(13, 11.0));
}

TEST(BranchSelection, OutOfOrderTimesUseTheFirstQualifyingSegment) {
    // Segments [0,4) and [1,3) both hold x in [1,2]; the first one is used.
    const std::vector<double> t = {0, 4, 1, 3, 2};
    const std::vector<double> m = {10, 11, 10.5, 10.25, 10};
    const OwnResampling own = resample(t, m);
    const ResampledCurve& c = own.curve;
    EXPECT_EQ(c.windowEnd, 2.0);
    EXPECT_EQ(asVector(c.gridMagnitudes), generate(17, [](int j) { return 10.0 + j / 32.0; }));
    EXPECT_EQ(asVector(c.gridMagnitudes), literalGridMagnitudes(t, m, 0, c.gridTimes));
}

TEST(BranchSelection, TimesBeyondEverySegmentUseTheLastSegmentExtended) {
    // L = 11 at the first observation; the reversed last segment (3 -> 2)
    // reaches it at H = 6. Grid times from 3 on lie in no segment.
    const OwnResampling own = resample({0, 1, 3, 2}, {11, 10.5, 10.25, 10});
    const ResampledCurve& c = own.curve;
    EXPECT_EQ(c.crossingIndex, 4);
    EXPECT_EQ(c.crossingTime, 6.0);
    EXPECT_EQ(c.branchPoints, 5);
    EXPECT_EQ(c.step, 0.375);
    const std::vector<int> in64ths = {704, 692, 680, 671, 668, 665, 662, 659, 656,
                                      662, 668, 674, 680, 686, 692, 698, 704};
    EXPECT_EQ(asVector(c.gridMagnitudes), generate(17, [&](int j) { return in64ths[j] / 64.0; }));
}

TEST(BranchSelection, ShuffledCurvesMatchTheSegmentRuleLiterally) {
    std::mt19937_64 random(77);
    std::uniform_real_distribution<double> time(0.0, 10.0);
    std::uniform_real_distribution<double> magnitude(10.0, 11.0);
    for (int curve = 0; curve < 40; ++curve) {
        const int n = 2 + curve % 13;
        std::vector<double> t(static_cast<std::size_t>(n));
        std::vector<double> m(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            t[i] = 2451000.0 + time(random);
            m[i] = magnitude(random);
        }
        const OwnResampling own = resample(t, m);
        const ResampledCurve& c = own.curve;
        SCOPED_TRACE("curve " + std::to_string(curve));
        EXPECT_EQ(asVector(c.gridMagnitudes), literalGridMagnitudes(t, m, c.dayOffset, c.gridTimes));
    }
}

struct FailureCase {
    const char* name;
    std::vector<double> t;
    std::vector<double> m;
};

TEST(BranchSelection, CurvesThatCannotBeResampledEndTheRun) {
    const std::vector<FailureCase> cases = {
        {"no crossing and the last two magnitudes equal", {0, 1, 2}, {11, 10, 10}},
        {"equal times in the last segment used as fallback", {0, 1, 1}, {10, 11, 10.5}},
        {"infinite magnitude inside the window", {0, 1, 2, 3, 4}, {10, 10.5, kInf, 10.5, 10}},
        {"NaN magnitude inside the window", {0, 1, 2, 3, 4}, {10, 10.5, kNan, 10.5, 10}},
        {"first time 2^31", {2147483648.0, 2147483649.0, 2147483650.0}, {10, 11, 10}},
        {"first time -2^31", {-2147483648.0, -2147483647.0, -2147483646.0}, {10, 11, 10}},
        {"first time infinite", {kInf, 1, 2, 3, 4}, {10, 10.25, 11, 10.5, 10.5}},
        {"first time NaN", {kNan, 1, 2, 3, 4}, {10, 10.25, 11, 10.5, 10.5}},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const OwnResampling own = resample(c.t, c.m);
        EXPECT_FALSE(own.curve.usable()) << "no failure";
        EXPECT_FALSE(own.curve.unusable.empty());
    }
}

TEST(BranchSelection, DayOffsetJustInsideThe32BitRange) {
    EXPECT_EQ(resample({2147483647.5, 2147483648.5, 2147483649.5}, {10, 11, 10}).curve.dayOffset, 2147483647);
    EXPECT_EQ(resample({-2147483647.5, -2147483646.5, -2147483645.5}, {10, 11, 10}).curve.dayOffset, -2147483647);
}

TEST(BranchSelection, UnusedNonFiniteMagnitudeChangesNothing) {
    // Observation 2 lies before the window and is never the deepest; it only
    // takes part in comparisons with the crossing level 10.5.
    const std::vector<double> t = {0, 1, 2, 3, 4, 5, 6};
    const OwnResampling ownPlain = resample(t, {10.5, 10.0, 10.25, 11, 11.5, 10.75, 10.5});
    const ResampledCurve& plain = ownPlain.curve;
    EXPECT_EQ(plain.crossingIndex, 3);
    for (const double odd : {-kInf, kNan}) {
        SCOPED_TRACE(odd);
        const OwnResampling ownC = resample(t, {10.5, odd, 10.25, 11, 11.5, 10.75, 10.5});
    const ResampledCurve& c = ownC.curve;
        EXPECT_EQ(c.deepestIndex, plain.deepestIndex);
        EXPECT_EQ(c.crossingIndex, plain.crossingIndex);
        EXPECT_EQ(c.crossingTime, plain.crossingTime);
        EXPECT_EQ(c.branchPoints, plain.branchPoints);
        EXPECT_EQ(c.step, plain.step);
        EXPECT_EQ(asVector(c.gridTimes), asVector(plain.gridTimes));
        EXPECT_EQ(asVector(c.gridMagnitudes), asVector(plain.gridMagnitudes));
    }
}

}  // namespace
