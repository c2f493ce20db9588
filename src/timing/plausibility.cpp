#include "timing/plausibility.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/units.h"
#include "timing/smoothing.h"

namespace kvw::timing {

namespace {

// The eclipse as a running median of the magnitudes shows it.
struct EclipseProfile {
    std::vector<double> smoothed;
    double normal = 0;        // the out-of-eclipse level: the brightest twentieth of the smoothed curve
    double deepest = 0;       // the faintest smoothed magnitude
    double deepestTime = 0;
    double smoothedNoise = 0; // the scatter left in the smoothed curve

    double depth() const { return deepest - normal; }
    double level(double fraction) const { return normal + fraction * depth(); }
};

// The smoothed curve at time x, linearly between its points.
double levelAt(std::span<const double> times, const std::vector<double>& smoothed, double x) {
    const auto after = std::upper_bound(times.begin(), times.end(), x) - times.begin();
    if (after == 0) {
        return smoothed.front();
    }
    if (static_cast<std::size_t>(after) == times.size()) {
        return smoothed.back();
    }
    const auto j = static_cast<std::size_t>(after - 1);
    const double span = times[j + 1] - times[j];
    const double w = span > 0 ? (x - times[j]) / span : 0;
    return smoothed[j] + w * (smoothed[j + 1] - smoothed[j]);
}

std::string formatted(const char* format, double a, double b = 0) {
    char text[200];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// The scatter of one observation, measured where the light lies within 5 % of
// the depth of the normal level (all observations when fewer are there).
double noiseWithoutEclipse(std::span<const double> times, std::span<const double> magnitudes,
                           const EclipseProfile& profile) {
    std::vector<bool> outside(magnitudes.size());
    for (std::size_t i = 0; i < outside.size(); ++i) {
        outside[i] = profile.smoothed[i] <= profile.level(0.05);
    }
    if (const std::optional<double> scatter = secondDifferenceScatter(times, magnitudes, outside, 10)) {
        return *scatter;
    }
    const std::vector<bool> all(magnitudes.size(), true);
    return secondDifferenceScatter(times, magnitudes, all, 1).value_or(0);
}

EclipseProfile profileOf(std::span<const double> times, std::span<const double> magnitudes,
                         std::optional<double> noise) {
    const std::size_t half = runningMedianHalfSpan(magnitudes.size());
    EclipseProfile profile;
    profile.smoothed = runningMedian(magnitudes, half);
    std::vector<double> ordered = profile.smoothed;
    std::sort(ordered.begin(), ordered.end());
    profile.normal = ordered[ordered.size() / 20];
    const auto deepest = static_cast<std::size_t>(
        std::max_element(profile.smoothed.begin(), profile.smoothed.end()) - profile.smoothed.begin());
    profile.deepest = profile.smoothed[deepest];
    profile.deepestTime = times[deepest];
    const double scatter = noise ? *noise : noiseWithoutEclipse(times, magnitudes, profile);
    profile.smoothedNoise = scatter * runningMedianShrinkage(half);
    return profile;
}

// The run of observations about `time` whose smoothed light lies at or
// beyond `level` (fainter) or short of it: [first, last) of the indices,
// grown both ways from the observation just after `time`.
std::pair<std::size_t, std::size_t> runAround(std::span<const double> times, const std::vector<double>& smoothed,
                                              double time, double level, bool fainter) {
    const auto after =
        static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), time) - times.begin());
    auto inside = [&](std::size_t i) { return (smoothed[i] >= level) == fainter; };
    std::size_t first = after;
    while (first > 0 && inside(first - 1)) {
        --first;
    }
    std::size_t last = after;
    while (last < smoothed.size() && inside(last)) {
        ++last;
    }
    return {first, last};
}

// Fluxes read as magnitudes: the time lies where the light is bright, it grows
// fainter than half the depth on both sides, and the faint light holds at
// least two fifths of the window (an eclipse takes the lesser part of a window
// that holds it, and the flat stretch between two eclipses lies at the normal
// level, far from the eclipses' depth).
bool looksInverted(std::span<const double> times, const EclipseProfile& profile, double time) {
    const double halfDepth = profile.level(0.5);
    const auto [first, last] = runAround(times, profile.smoothed, time, halfDepth, false);
    const auto faint = std::count_if(profile.smoothed.begin(), profile.smoothed.end(),
                                     [&](double m) { return m >= halfDepth; });
    return first > 0 && last < profile.smoothed.size() &&
           5 * static_cast<std::size_t>(faint) >= 2 * profile.smoothed.size();
}

// The time at which the smoothed light crosses `level` between observations
// j and j + 1 (linearly); the nearer one's time when it does not.
double crossingTime(std::span<const double> times, const std::vector<double>& smoothed, std::size_t j,
                    double level) {
    const double rise = smoothed[j + 1] - smoothed[j];
    const double w = rise != 0 ? std::clamp((level - smoothed[j]) / rise, 0.0, 1.0) : 0.5;
    return times[j] + w * (times[j + 1] - times[j]);
}

// The eclipse's width at half its depth about `time`, between the crossings
// of that level on either side (the ends of the observations where it does
// not cross); robust to the noise of the smoothed bottom, which sets the depth.
double widthAtHalfDepth(std::span<const double> times, const EclipseProfile& profile, double time) {
    const auto [first, last] = runAround(times, profile.smoothed, time, profile.level(0.5), true);
    const double halfDepth = profile.level(0.5);
    const double begin = first > 0 ? crossingTime(times, profile.smoothed, first - 1, halfDepth) : times.front();
    const double end = last < times.size() ? crossingTime(times, profile.smoothed, last - 1, halfDepth) : times.back();
    return end - begin;
}

// The branches and the coverage of the minimum, for a time within the eclipse.
std::optional<std::string> branchProblem(std::span<const double> times, const EclipseProfile& profile,
                                         double minimumTime) {
    // On each side the smoothed light must rise by at least a quarter of the
    // depth, so that the minimum is bracketed. Files cut close to the minimum
    // (a common way of sharing an eclipse) pass.
    const auto [first, last] = runAround(times, profile.smoothed, minimumTime, profile.level(0.75), true);
    if (first == 0) {
        return std::string("the observations begin inside the eclipse: its first branch is missing");
    }
    if (last == times.size()) {
        return std::string("the observations end inside the eclipse: its second branch is missing");
    }
    const auto after =
        static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), minimumTime) - times.begin());
    if (after > 0 && after < times.size()) {
        const double gap = times[after] - times[after - 1];
        const double width = widthAtHalfDepth(times, profile, minimumTime);
        if (gap > width / 2) {
            return formatted("a gap of %.1f minutes lies across the minimum, more than half the eclipse's width "
                             "at half its depth (%.1f minutes)",
                             gap * kMinutesPerDay, width * kMinutesPerDay);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> implausibility(std::span<const double> times, std::span<const double> magnitudes,
                                          double minimumTime, std::optional<double> noise) {
    if (times.size() < 5) {
        return std::nullopt;  // too few to judge; the error shows how little they say
    }
    if (!(minimumTime >= times.front() && minimumTime <= times.back())) {
        return "the time of minimum lies outside the observations";
    }
    const EclipseProfile profile = profileOf(times, magnitudes, noise);
    if (!(profile.depth() > 5 * profile.smoothedNoise)) {
        return formatted("no eclipse stands out of the noise (depth %.4f mag, scatter of the smoothed curve %.4f mag)",
                         profile.depth(), profile.smoothedNoise);
    }
    const double level = levelAt(times, profile.smoothed, minimumTime);
    if (level < profile.level(0.5)) {
        if (looksInverted(times, profile, minimumTime)) {
            return std::string("the values fall around the time found, where an eclipse makes magnitudes rise: "
                               "they look like fluxes; name their column with --flux-column");
        }
        return formatted("the time lies outside the eclipse: the light there is %.0f%% of the depth below the "
                         "normal level (the deepest point is at %.6f)",
                         100 * (level - profile.normal) / profile.depth(), profile.deepestTime);
    }
    return branchProblem(times, profile, minimumTime);
}

}  // namespace kvw::timing
