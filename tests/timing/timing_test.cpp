// Timing many eclipses: the windows an ephemeris predicts, the coverage a
// window needs, and the check that a time lies in the eclipse, on generated
// light curves whose true minima are known.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "timing/ephemeris.h"
#include "timing/plausibility.h"
#include "timing/time_eclipses.h"

namespace kvw::timing {
namespace {

struct Curve {
    std::vector<double> times;
    std::vector<double> magnitudes;
    CurveView observations() const { return {"curve", "unknown", times, magnitudes, {}, std::nullopt}; }
};

// Evenly spaced points from `begin` over `length` days, Gaussian eclipses of
// 0.8 mag (sigma 0.012 d) at the given centres, 4 millimag of noise.
Curve eclipses(double begin, double length, int points, const std::vector<double>& centres, unsigned seed = 1) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> noise(0.0, 0.004);
    Curve curve;
    for (int k = 0; k < points; ++k) {
        const double t = begin + length * k / (points - 1);
        double m = 10.0 + noise(random);
        for (const double c : centres) {
            m += 0.8 * std::exp(-0.5 * std::pow((t - c) / 0.012, 2));
        }
        curve.times.push_back(t);
        curve.magnitudes.push_back(m);
    }
    return curve;
}

// Windows of the same half-width for both types, at least `minimum` points per side.
WindowSizes sizesOf(double halfWidth, std::size_t minimum = 5) {
    return {halfWidth, halfWidth, minimum, minimum, halfWidth / 4, halfWidth / 4};
}

std::vector<EclipseWindow> windowsOf(std::span<const double> times, const Ephemeris& ephemeris,
                                     std::size_t minimum = 5) {
    return predictEclipses(times, ephemeris, sizesOf(*ephemeris.halfWidth, minimum)).windows;
}

TimedEclipse timeWhole(const Curve& curve) {
    Eclipse eclipse{curve.observations(), 0, curve.times.size(), std::nullopt, {}};
    timeAndCheck({&eclipse, 1}, TimingSettings{}, 1);
    return eclipse.timed;
}

TEST(Ephemeris, PrimariesAndSecondariesWithinTheData) {
    std::vector<double> times;
    for (int k = 0; k <= 100; ++k) {
        times.push_back(0.1 * k);  // 0 .. 10 days
    }
    const Ephemeris ephemeris{1.2, 2.0, 0.3, 0.5};
    const std::vector<EclipseWindow> windows = windowsOf(times, ephemeris);
    // Secondaries at 0.2, 2.2, ... 10.2, primaries at 1.2, ... 9.2; the window of 10.2, beyond the data,
    // holds 9.9 and 10.
    ASSERT_EQ(windows.size(), 11u);
    EXPECT_EQ(windows[10].cycle, 4.5);
    EXPECT_EQ(windows[10].last - windows[10].first, 2u);
    EXPECT_EQ(windows[0].cycle, -0.5);
    EXPECT_EQ(windows[0].type, EclipseType::secondary);
    EXPECT_DOUBLE_EQ(windows[0].predicted, 0.2);
    EXPECT_EQ(windows[1].cycle, 0.0);
    EXPECT_EQ(windows[1].type, EclipseType::primary);
    EXPECT_EQ(windows[9].cycle, 4.0);
    // 1.2 +- 0.3: the times 0.9 .. 1.5.
    EXPECT_EQ(windows[1].first, 9u);
    EXPECT_EQ(windows[1].last, 16u);
    // Before the epoch: negative cycles.
    EXPECT_EQ(windowsOf(times, Ephemeris{7.2, 2.0, 0.3, std::nullopt}).front().cycle, -3.0);
    // An epoch alone: the one eclipse there, or none outside the data.
    EXPECT_EQ(windowsOf(times, Ephemeris{4.0, std::nullopt, 0.3, std::nullopt}).size(), 1u);
    EXPECT_TRUE(windowsOf(times, Ephemeris{14.0, std::nullopt, 0.3, std::nullopt}).empty());
}

TEST(Ephemeris, CoverageOfAWindow) {
    std::vector<double> times;
    for (int k = 0; k <= 40; ++k) {
        times.push_back(0.01 * k);
    }
    const Ephemeris ephemeris{0.2, std::nullopt, 0.1, std::nullopt};
    EXPECT_FALSE(coverageProblem(times, windowsOf(times, ephemeris, 5).front()));
    EXPECT_TRUE(coverageProblem(times, windowsOf(times, ephemeris, 12).front()));  // 10 on each side

    // A gap from 0.17 to 0.23 d across the predicted time, over a quarter of the half-width.
    std::vector<double> gapped;
    for (const double t : times) {
        if (t < 0.175 || t > 0.225) {
            gapped.push_back(t);
        }
    }
    const auto problem = coverageProblem(gapped, windowsOf(gapped, ephemeris).front());
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("gap of 86.4 minutes"), std::string::npos) << *problem;
}

TEST(Plausibility, CentredEclipseIsOk) {
    const TimedEclipse e = timeWhole(eclipses(2459000.3, 0.25, 300, {2459000.425}));
    EXPECT_EQ(e.status, Status::ok) << e.reason;
    ASSERT_TRUE(e.time);
    EXPECT_NEAR(*e.time, 2459000.425, 0.0005);
    EXPECT_TRUE(e.errorClassic && e.meanValue);
}

TEST(Plausibility, MinimaTheMethodFindsOutsideTheEclipseAreSuspect) {
    struct Case {
        const char* name;
        Curve curve;
    };
    const std::vector<Case> cases = {
        // The method finds a confident minimum on the flat part 0.2 d after the eclipse.
        {"off-centre in a long run", eclipses(2459000.3, 0.4, 400, {2459000.4})},
        // ... and one midway between two eclipses.
        {"between two eclipses", eclipses(2459000.3, 0.5, 500, {2459000.45, 2459000.6}, 2)},
    };
    for (const Case& c : cases) {
        const TimedEclipse e = timeWhole(c.curve);
        EXPECT_EQ(e.status, Status::suspect) << c.name << ": " << (e.time ? std::to_string(*e.time) : e.reason);
        EXPECT_NE(e.reason.find("outside the eclipse"), std::string::npos) << e.reason;
    }
}

// Each reason why a time is no credible minimum of the eclipse the
// observations show, for a time given to the check.
TEST(Plausibility, EachReasonForAMinimumOutsideTheEclipse) {
    const Curve centred = eclipses(2459000.3, 0.25, 300, {2459000.425});
    const Curve flat = eclipses(2459000.3, 0.25, 300, {});
    const Curve late = eclipses(2459000.3, 0.25, 300, {2459000.3});       // begins at the minimum's depth
    const Curve early = eclipses(2459000.3, 0.25, 300, {2459000.55});     // ends there
    Curve gapped;
    for (std::size_t k = 0; k < centred.times.size(); ++k) {
        if (std::fabs(centred.times[k] - 2459000.425) > 0.008) {
            gapped.times.push_back(centred.times[k]);
            gapped.magnitudes.push_back(centred.magnitudes[k]);
        }
    }
    struct Case {
        const char* name;
        const Curve& curve;
        double time;
        const char* reason;  // nullptr: credible
    };
    const std::vector<Case> cases = {
        {"in the eclipse", centred, 2459000.4252, nullptr},
        {"outside the observations", centred, 2459000.6, "outside the observations"},
        {"no eclipse", flat, 2459000.425, "no eclipse stands out of the noise"},
        {"on the flat part", centred, 2459000.33, "outside the eclipse"},
        {"first branch missing", late, 2459000.301, "first branch is missing"},
        {"second branch missing", early, 2459000.549, "second branch is missing"},
        {"gap across the minimum", gapped, 2459000.425, "a gap of 25.3 minutes lies across the minimum"},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> doubt = implausibility(c.curve.times, c.curve.magnitudes, c.time);
        if (c.reason == nullptr) {
            EXPECT_FALSE(doubt) << c.name << ": " << doubt.value_or("");
        } else {
            ASSERT_TRUE(doubt) << c.name;
            EXPECT_NE(doubt->find(c.reason), std::string::npos) << c.name << ": " << *doubt;
        }
    }
}

// A fault met in one eclipse by one of the workers fails that eclipse's row,
// with the reason, and no other.
TEST(TimeEclipses, AFaultInAWorkerFailsItsEclipseOnly) {
    const Curve curve = eclipses(2459000.2, 3.0, 3000, {2459000.5, 2459001.5, 2459002.5});
    std::vector<Eclipse> rows;
    for (int e = 0; e < 3; ++e) {
        const auto first = static_cast<std::size_t>(200 + 1000 * e);
        rows.push_back({curve.observations(), first, first + 200, std::nullopt, {}});
    }
    rows[1].last = curve.times.size() + 1;  // beyond the light curve: a fault of the caller
    timeAndCheck(rows, TimingSettings{}, 3);
    EXPECT_EQ(rows[1].timed.status, Status::failed);
    EXPECT_NE(rows[1].timed.reason.find("a precondition does not hold"), std::string::npos) << rows[1].timed.reason;
    EXPECT_EQ(rows[0].timed.status, Status::ok) << rows[0].timed.reason;
    EXPECT_EQ(rows[2].timed.status, Status::ok) << rows[2].timed.reason;
}

TEST(TimeEclipses, ManyWindowsOnSeveralThreadsGiveTheSameRowsInOrder) {
    // Eclipses every 0.7 d for 10 days; the third falls in a gap.
    std::vector<double> centres;
    for (int e = 0; e < 14; ++e) {
        centres.push_back(2459000.5 + 0.7 * e);
    }
    Curve curve = eclipses(2459000.2, 10.0, 7000, centres, 3);
    Curve gapped;
    for (std::size_t k = 0; k < curve.times.size(); ++k) {
        if (std::fabs(curve.times[k] - centres[2]) > 0.03) {
            gapped.times.push_back(curve.times[k]);
            gapped.magnitudes.push_back(curve.magnitudes[k]);
        }
    }
    const TimingSettings settings;
    const Ephemeris ephemeris{2459000.5, 0.7, 0.08, std::nullopt};
    std::vector<Eclipse> one = eclipsesIn(gapped.observations(), windowsOf(gapped.times, ephemeris));
    ASSERT_EQ(one.size(), 14u);
    std::vector<Eclipse> four = one;
    timeAndCheck(one, settings, 1);
    timeAndCheck(four, settings, 4);
    for (std::size_t i = 0; i < one.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(one[i].timed.status, i == 2 ? Status::partial : Status::ok) << one[i].timed.reason;
        EXPECT_EQ(four[i].timed.status, one[i].timed.status);
        EXPECT_EQ(four[i].timed.time, one[i].timed.time);
        if (one[i].timed.time) {
            EXPECT_NEAR(*one[i].timed.oMinusC, 0.0, 0.0005);
        }
    }
}

}  // namespace
}  // namespace kvw::timing
