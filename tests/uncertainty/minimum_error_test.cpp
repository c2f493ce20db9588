// The error of the time of minimum: the grid's factors and the linear error
// on the five-point example worked by hand, the flags, and errors present and
// positive on simulated eclipses.
#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/eclipse_timing.h"
#include "uncertainty/minimum_error.h"

namespace {

using namespace kvw::uncertainty;
using kvw::analysis::EclipseTiming;

EclipseTiming timeLightCurve(const Observations& curve) {
    return kvw::analysis::timeEclipse(curve.times, curve.magnitudes);
}

// Five observations a quarter day apart, a V of 1 mag: the method's grid has
// 17 points 1/16 day apart (weights w = 0, 1/4, 1/2, 3/4 between
// observations), the smallest sum is at trial 16 (t = 0.5) with the 7 pairs
// of grid points (j, 16 - j), j = 1..7 from 0, and the parabola has a = 120.
const std::vector<double> kTimes = {0.0, 0.25, 0.5, 0.75, 1.0};
const std::vector<double> kMagnitudes = {10.0, 10.5, 11.0, 10.5, 10.0};

EclipseTiming workedExample() {
    EclipseTiming result = timeLightCurve({kTimes, kMagnitudes});
    EXPECT_FALSE(result.fit.improper);
    EXPECT_EQ(result.fit.smallestTrial, 16);
    EXPECT_NEAR(result.fit.a, 120.0, 1e-9);
    EXPECT_NEAR(result.fit.minimumTime, 0.501042, 5e-7);
    // Folded about t = 0.5 the curve is 11 - 2u exactly: every pair's slope is -2.
    result.fit.minimumTime = 0.5;
    return result;
}

TEST(GridNoiseFactors, WorkedByHand) {
    const GridNoiseFactors factors = gridNoiseFactors({kTimes, kMagnitudes}, workedExample());
    EXPECT_EQ(factors.pairs, 7);
    // The squared coefficients of g(16 - j) - g(j): j = 1..7 give 5/4, 1, 5/4,
    // 2, 9/8, 1/2, 1/8 (g(4) and g(12) sit on observations; g(7) and g(9)
    // share the observation at 0.5, whose weights 3/4 cancel).
    EXPECT_NEAR(factors.sumOfSquaredWeights, 29.0 / 4, 1e-12);
    // c = -2 times the coefficient sums over the pairs, (-3/2, -4, 0, 4, 3/2)
    // per observation: |c|^2 = 146, sum f'^2 = 7 * 4, rho = 146 / 56.
    EXPECT_NEAR(factors.timingFactor, 73.0 / 28, 1e-12);
    // 2 tr(B^2) for B = the pairs' outer products of trial 17 minus those of trial 15.
    EXPECT_NEAR(factors.sumFluctuation, 689.0 / 32, 1e-12);
}

TEST(LinearError, WorkedByHand) {
    const GridNoiseFactors factors = gridNoiseFactors({kTimes, kMagnitudes}, workedExample());
    // s = 0.01: 2 rho s^2 / a = 2 (73/28) 1e-4 / 120 and F s^4 / (4 a h/2)^2
    // = (689/32) 1e-8 / 15^2; the sum is 21904823 / 5.04e12 day^2.
    EXPECT_NEAR(linearError(factors, 1e-4, 120.0, 1.0 / 16), std::sqrt(21904823 / 5.04e12), 1e-15);
    // Independent pairs of observations (rho = 1, no fluctuation) give the revised error sqrt(2 s^2 / a).
    EXPECT_NEAR(linearError({7, 14, 1, 0}, 1e-4, 120.0, 1.0 / 16), std::sqrt(2e-4 / 120), 1e-15);
}

TEST(CombineErrors, BootstrapTakesOverOutsideTheLinearRegime) {
    struct Case {
        double linear, bootstrap, inflation, expected;
    };
    for (const Case& c : std::vector<Case>{{2.0, 2.9, 1.0, 2.0},   // replicas agree within 1.5 times
                                           {2.0, 3.1, 1.0, 3.1},   // replicas scatter more: the method is not linear
                                           {2.0, 1.0, 1.5, 3.0},   // inflation applies to the linear error
                                           {2.0, 4.0, 2.0, 8.0},   // and to the replicas'
                                           {2.0, NAN, 1.0, 2.0},   // too few replicas timed
                                           {NAN, 4.0, 1.0, 4.0}}) {
        EXPECT_DOUBLE_EQ(combineErrors(c.linear, c.bootstrap, c.inflation), c.expected)
            << c.linear << " " << c.bootstrap << " " << c.inflation;
    }
}

// An eclipse of depth 0.5 mag and width parameter 0.02 d, 2-minute cadence
// over +-0.12 d, white noise; `after` stretches the egress; `red` adds noise
// correlated over 0.01 d (a first-order autoregression).
struct Eclipse {
    std::vector<double> times;
    std::vector<double> magnitudes;
};

Eclipse simulate(std::uint64_t seed, double noise, double after = 1.0, double red = 0.0) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal(0.0, noise);
    std::normal_distribution<double> unit(0.0, 1.0);
    const double step = 2.0 / 1440;
    const double kept = std::exp(-step / 0.01);
    const double centre = 2459000.5 + 0.001 * static_cast<double>(seed % 7);
    Eclipse e;
    double correlated = 0;
    for (double t = centre - 0.12; t <= centre + 0.12; t += step) {
        const double x = (t - centre) / (t < centre ? 0.02 : 0.02 * after);
        correlated = kept * correlated + std::sqrt(1 - kept * kept) * red * unit(random);
        e.times.push_back(t);
        e.magnitudes.push_back(10.0 + 0.5 * std::exp(1 - std::cosh(x)) + normal(random) + correlated);
    }
    return e;
}

bool has(const std::vector<std::string>& flags, const char* flag) {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

TEST(Flags, RaisedWhereTheMethodIsUnsure) {
    const Observations worked{kTimes, kMagnitudes};
    EclipseTiming result = workedExample();
    // Vertex value -0.000130; one observation folded on each side of t = 0.5.
    EXPECT_EQ(methodFlags(worked, result), (std::vector<std::string>{kNegativeVertex, kFewPairs}));
    // Trials K..3K span 0.25..0.75: a vertex within 0.025 of either end is at the edge.
    for (const auto& [vertex, edge] : std::vector<std::pair<double, bool>>{
             {0.26, true}, {0.28, false}, {0.5, false}, {0.72, false}, {0.74, true}}) {
        result.fit.minimumTime = vertex;
        EXPECT_EQ(has(methodFlags(worked, result), kEdge), edge) << vertex;
    }

    const Eclipse clean = simulate(3, 0.002);
    const Observations cleanCurve{clean.times, clean.magnitudes};
    EXPECT_TRUE(estimateError(cleanCurve, timeLightCurve(cleanCurve), {}, minimumTimeOf).flags.empty());

    // An egress 20 % slower than the ingress: the branches do not fold onto each other.
    const Eclipse skewed = simulate(3, 0.002, 1.2);
    const Observations skewedCurve{skewed.times, skewed.magnitudes};
    EXPECT_EQ(estimateError(skewedCurve, timeLightCurve(skewedCurve), {}, minimumTimeOf).flags,
              std::vector<std::string>{kAsymmetric});
}

TEST(EstimateError, PresentAndPositiveOnSimulatedEclipses) {
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        const Eclipse e = simulate(seed, 0.01);
        const Observations curve{e.times, e.magnitudes};
        const EclipseTiming result = timeLightCurve(curve);
        ASSERT_FALSE(result.fit.improper) << seed;
        ErrorOptions options;
        options.seed = seed;
        const ErrorEstimate estimate = estimateError(curve, result, options, minimumTimeOf);
        EXPECT_TRUE(std::isfinite(estimate.error) && estimate.error > 0) << seed;
        // White noise on a clean eclipse: of the order of the classic error.
        EXPECT_GT(estimate.error, result.fit.error / 3) << seed;
        EXPECT_LT(estimate.error, result.fit.error * 3) << seed;
        // The same seed gives the same replicas; the user's noise replaces the estimate.
        EXPECT_EQ(estimateError(curve, result, options, minimumTimeOf).error, estimate.error);
        options.noise = 0.02;
        EXPECT_GT(estimateError(curve, result, options, minimumTimeOf).error, 1.5 * estimate.error) << seed;
    }
}

// Noise correlated over the ingress time scale widens the error beyond the
// linear one, by the time-averaging beta; white noise leaves it alone.
TEST(EstimateError, CorrelatedNoiseInflatesTheError) {
    struct Case {
        const char* name;
        double white, red;
        bool inflated;
    };
    for (const Case& c : std::vector<Case>{{"white", 0.004, 0.0, false}, {"correlated", 0.001, 0.004, true}}) {
        for (std::uint64_t seed = 1; seed <= 3; ++seed) {
            const Eclipse e = simulate(seed, c.white, 1.0, c.red);
            const Observations curve{e.times, e.magnitudes};
            const EclipseTiming result = timeLightCurve(curve);
            ASSERT_TRUE(result.timed()) << c.name << " " << seed;
            ErrorOptions options;
            options.seed = seed;
            const ErrorCandidates weighed = weighErrors(curve, result, options, minimumTimeOf);
            const double inflation = std::max(weighed.beta, weighed.pairBeta);
            EXPECT_EQ(inflation > 1.5, c.inflated) << c.name << " " << seed << ": beta " << weighed.beta
                                                   << ", pair beta " << weighed.pairBeta;
            if (c.inflated) {
                EXPECT_GT(estimateError(curve, result, options, minimumTimeOf).error, 1.5 * weighed.linear);
            }
        }
    }
}

// replicas-lost: more than a tenth of the replicas re-timed without a proper minimum.
TEST(Flags, ReplicasLost) {
    const Eclipse e = simulate(2, 0.004);
    const Observations curve{e.times, e.magnitudes};
    const EclipseTiming result = timeLightCurve(curve);
    ErrorOptions options;
    options.replicas = 20;
    for (const auto& [every, flagged] : std::vector<std::pair<int, bool>>{{5, true}, {10, false}, {20, false}}) {
        int calls = 0;
        const RetimeMinimum losing = [&](const Observations& replica) -> std::optional<double> {
            return ++calls % every == 0 ? std::nullopt : minimumTimeOf(replica);
        };
        EXPECT_EQ(has(estimateError(curve, result, options, losing).flags, kReplicasLost), flagged)
            << "one replica in " << every << " lost";
    }
}

TEST(EstimateError, RejectsAnImproperMinimum) {
    const Eclipse e = simulate(1, 0.01);
    const Observations curve{e.times, e.magnitudes};
    EclipseTiming result = timeLightCurve(curve);
    result.fit.improper = true;
    EXPECT_THROW(estimateError(curve, result, {}, minimumTimeOf), std::invalid_argument);
}

}  // namespace
