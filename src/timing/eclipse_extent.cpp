#include "timing/eclipse_extent.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

#include "timing/smoothing.h"

namespace kvw::timing {

namespace {

// The light has regained its level outside the eclipse within this fraction of the depth.
constexpr double kRegainedFraction = 0.05;
// The window holds the eclipse with this margin, and this many cadences more.
constexpr double kReachMargin = 1.5;
constexpr double kCadenceMargin = 2;

// Days from the nearest predicted eclipse at `phase`, in [-P/2, P/2); from the epoch without a period.
double offsetFrom(double t, const Ephemeris& ephemeris, double phase) {
    if (!ephemeris.period) {
        return t - ephemeris.epoch;
    }
    const double cycles = (t - ephemeris.epoch) / *ephemeris.period - phase;
    return (cycles - std::floor(cycles + 0.5)) * *ephemeris.period;
}

// The observations within `limit` of the predicted eclipses, by offset, and
// their running median; `sign` -1 turns the values over.
struct Fold {
    std::vector<double> offsets;
    std::vector<double> values;
    std::vector<double> smoothed;
    double smoothedNoise = 0;  // the scatter of the running median
};

void smooth(Fold& fold) {
    const std::size_t n = fold.values.size();
    const std::size_t half = runningMedianHalfSpan(n);
    fold.smoothed = runningMedian(fold.values, half);
    std::vector<double> residuals;
    for (std::size_t i = 0; i < n; ++i) {
        residuals.push_back(std::fabs(fold.values[i] - fold.smoothed[i]));
    }
    if (n > 0) {
        fold.smoothedNoise = 1.4826 * medianOf(residuals) * runningMedianShrinkage(half);
    }
}

Fold foldAbout(std::span<const double> times, std::span<const double> magnitudes, const Ephemeris& ephemeris,
               double phase, double limit, double sign) {
    std::vector<std::pair<double, double>> points;
    for (std::size_t i = 0; i < times.size(); ++i) {
        const double u = offsetFrom(times[i], ephemeris, phase);
        if (std::fabs(u) <= limit) {
            points.emplace_back(u, sign * magnitudes[i]);
        }
    }
    std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    Fold fold;
    for (const auto& [u, value] : points) {
        fold.offsets.push_back(u);
        fold.values.push_back(value);
    }
    smooth(fold);
    return fold;
}

// From the deepest point outward, the first offset where the smoothed fold
// lies within `threshold` of `level`; none when the fold ends first.
std::optional<double> edgeTowards(const Fold& fold, std::size_t deepest, int direction, double level,
                                  double threshold) {
    for (std::size_t i = deepest; i < fold.smoothed.size(); i = direction > 0 ? i + 1 : i - 1) {
        if (fold.smoothed[i] <= level + threshold) {
            return fold.offsets[i];
        }
        if (i == 0) {
            break;
        }
    }
    return std::nullopt;
}

// The level just beyond an edge: the median over as far again beyond it as it lies from the centre.
std::optional<double> levelBeyond(const Fold& fold, double centre, double edge) {
    const double width = std::fabs(edge - centre);
    const double outward = edge > centre ? 1 : -1;
    std::vector<double> values;
    for (std::size_t i = 0; i < fold.offsets.size(); ++i) {
        const double beyond = (fold.offsets[i] - edge) * outward;
        if (beyond >= 0 && beyond <= width) {
            values.push_back(fold.values[i]);
        }
    }
    return values.size() >= 3 ? std::optional<double>(medianOf(values)) : std::nullopt;
}

struct Measured {
    std::optional<double> reach;
    double depth = 0;
    bool found = false;
    int edges = 0;  // the sides on which the light regains its level
};

// One side: first against the brightest of the fold, then against the level
// just beyond the edge until the edge stays (the light outside an eclipse
// need not be the brightest of the fold: a slow variation around it, levels
// that differ between cycles).
std::optional<double> edgeOnSide(const Fold& fold, std::size_t deepest, int direction, double brightest) {
    const double bottom = fold.smoothed[deepest];
    auto threshold = [&](double level) {
        return std::max(kRegainedFraction * (bottom - level), 3 * fold.smoothedNoise);
    };
    std::optional<double> edge = edgeTowards(fold, deepest, direction, brightest, threshold(brightest));
    for (int refinement = 0; edge && refinement < 8; ++refinement) {
        const std::optional<double> level = levelBeyond(fold, fold.offsets[deepest], *edge);
        const std::optional<double> refined =
            level ? edgeTowards(fold, deepest, direction, *level, threshold(*level)) : std::nullopt;
        if (!refined || *refined == *edge) {
            break;
        }
        edge = refined;
    }
    return edge;
}

Measured measureFold(const Fold& fold) {
    Measured measured;
    if (fold.smoothed.size() < 5) {
        return measured;
    }
    const auto deepest = static_cast<std::size_t>(
        std::max_element(fold.smoothed.begin(), fold.smoothed.end()) - fold.smoothed.begin());
    const double brightest = *std::min_element(fold.smoothed.begin(), fold.smoothed.end());
    measured.depth = fold.smoothed[deepest] - brightest;
    measured.found = measured.depth > 5 * fold.smoothedNoise;
    if (!measured.found) {
        return measured;
    }
    for (const int direction : {-1, 1}) {
        if (const std::optional<double> edge = edgeOnSide(fold, deepest, direction, brightest)) {
            measured.reach = std::max(measured.reach.value_or(0), std::fabs(*edge));
            ++measured.edges;
        }
    }
    return measured;
}

EclipseExtent extentOf(std::span<const double> times, std::span<const double> magnitudes, const Ephemeris& ephemeris,
                       double phase, EclipseType type) {
    const double limit = halfWidthLimit(ephemeris, type);
    const Measured rising = measureFold(foldAbout(times, magnitudes, ephemeris, phase, limit, 1));
    const Measured falling = measureFold(foldAbout(times, magnitudes, ephemeris, phase, limit, -1));
    EclipseExtent extent;
    // An eclipse's shape, the light regained on both sides, shows only when the values are turned over.
    extent.dips = falling.found && falling.edges == 2 && !(rising.found && rising.edges == 2);
    const Measured& chosen = extent.dips ? falling : rising;
    extent.reach = chosen.reach;
    extent.depth = chosen.depth;
    extent.found = chosen.found;
    return extent;
}

double medianInterval(std::span<const double> times) {
    std::vector<double> intervals;
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i] > times[i - 1]) {
            intervals.push_back(times[i] - times[i - 1]);
        }
    }
    return intervals.empty() ? 0 : medianOf(intervals);
}

}  // namespace

CurveSurvey surveyCurve(std::span<const double> times, std::span<const double> magnitudes, const Ephemeris& ephemeris) {
    CurveSurvey survey;
    survey.cadence = medianInterval(times);
    survey.primary = extentOf(times, magnitudes, ephemeris, 0, EclipseType::primary);
    if (ephemeris.secondaryPhase) {
        survey.secondary = extentOf(times, magnitudes, ephemeris, *ephemeris.secondaryPhase, EclipseType::secondary);
    }
    // Without a secondary phase a secondary eclipse may lie at phase 0.5; a type
    // not measured is taken to reach as far as the other.
    const double primaryReach = survey.primary.reach.value_or(survey.secondary.reach.value_or(0));
    const double secondaryReach = survey.secondary.reach.value_or(primaryReach);
    const double secondaryPhase = ephemeris.secondaryPhase.value_or(0.5);
    std::vector<bool> outside(times.size());
    for (std::size_t i = 0; i < times.size(); ++i) {
        const bool inPrimary = std::fabs(offsetFrom(times[i], ephemeris, 0)) <= primaryReach;
        const bool inSecondary =
            ephemeris.period && std::fabs(offsetFrom(times[i], ephemeris, secondaryPhase)) <= secondaryReach;
        outside[i] = !inPrimary && !inSecondary;
    }
    survey.noise = secondDifferenceScatter(times, magnitudes, outside, 10);
    return survey;
}

double automaticHalfWidth(const CurveSurvey& survey, EclipseType type, double limit, double span) {
    const EclipseExtent& own = type == EclipseType::secondary ? survey.secondary : survey.primary;
    const EclipseExtent& other = type == EclipseType::secondary ? survey.primary : survey.secondary;
    const std::optional<double> reach = own.reach ? own.reach : other.reach;
    if (!reach) {
        return std::isfinite(limit) ? limit : span;
    }
    return std::min(kReachMargin * *reach + kCadenceMargin * survey.cadence, limit);
}

std::size_t automaticMinimumPoints(double halfWidth, double cadence) {
    const double perSide = cadence > 0 ? halfWidth / cadence : 0;
    const double quarter = std::round(perSide / 4);
    // Bounded (and NaN sent to the floor) so that any window converts to a count.
    return quarter >= 3 ? static_cast<std::size_t>(std::min(quarter, 1e9)) : 3;
}

double longestGap(double halfWidth, double cadence) {
    return std::max(halfWidth / 4, 3 * cadence);
}

namespace {

// One type's half-width and fewest observations per side.
std::pair<double, std::size_t> windowOf(const CurveSurvey& survey, const Ephemeris& ephemeris, EclipseType type,
                                        std::optional<std::size_t> minimumPoints, double span, bool& cut) {
    const double limit = halfWidthLimit(ephemeris, type);
    double halfWidth = 0;
    if (ephemeris.halfWidth) {
        cut = cut || *ephemeris.halfWidth > limit;
        halfWidth = std::min(*ephemeris.halfWidth, limit);
    } else {
        halfWidth = automaticHalfWidth(survey, type, limit, span);
    }
    return {halfWidth, minimumPoints ? *minimumPoints : automaticMinimumPoints(halfWidth, survey.cadence)};
}

}  // namespace

WindowPlan planWindows(std::span<const double> times, std::span<const double> magnitudes, const Ephemeris& ephemeris,
                       std::optional<std::size_t> minimumPoints) {
    WindowPlan plan;
    plan.survey = surveyCurve(times, magnitudes, ephemeris);
    const double span = times.empty() ? 0 : times.back() - times.front();
    std::tie(plan.sizes.primaryHalfWidth, plan.sizes.primaryMinimumPoints) =
        windowOf(plan.survey, ephemeris, EclipseType::primary, minimumPoints, span, plan.cut);
    if (ephemeris.secondaryPhase) {
        std::tie(plan.sizes.secondaryHalfWidth, plan.sizes.secondaryMinimumPoints) =
            windowOf(plan.survey, ephemeris, EclipseType::secondary, minimumPoints, span, plan.cut);
    } else {
        plan.sizes.secondaryHalfWidth = plan.sizes.primaryHalfWidth;
        plan.sizes.secondaryMinimumPoints = plan.sizes.primaryMinimumPoints;
    }
    plan.sizes.primaryLongestGap = longestGap(plan.sizes.primaryHalfWidth, plan.survey.cadence);
    plan.sizes.secondaryLongestGap = longestGap(plan.sizes.secondaryHalfWidth, plan.survey.cadence);
    return plan;
}

}  // namespace kvw::timing
