#include "timing/plausibility.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "base/units.h"

namespace kvw::timing {

namespace {

// Points on either side in the running median: enough to smooth the noise,
// few enough to keep an eclipse of a few dozen points.
std::size_t halfSpan(std::size_t points) {
    return std::clamp<std::size_t>(points / 100, 2, 25);
}

// The eclipse as a running median of the magnitudes shows it.
struct EclipseProfile {
    double normal = 0;        // the out-of-eclipse level: the brightest twentieth of the smoothed curve
    double deepest = 0;       // the faintest smoothed magnitude
    double deepestTime = 0;
    double noise = 0;         // the point-to-point scatter of the observations, magnitudes
    double smoothedNoise = 0; // the scatter left in the smoothed curve
};

double medianOf(std::vector<double>& values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

std::vector<double> runningMedian(std::span<const double> values, std::size_t half) {
    std::vector<double> smoothed(values.size());
    std::vector<double> scratch;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t from = i >= half ? i - half : 0;
        const std::size_t to = std::min(values.size(), i + half + 1);
        scratch.assign(values.begin() + static_cast<std::ptrdiff_t>(from),
                       values.begin() + static_cast<std::ptrdiff_t>(to));
        smoothed[i] = medianOf(scratch);
    }
    return smoothed;
}

// The scatter of one observation from the differences of neighbours, robust
// to the eclipse's slope and to outliers.
double pointToPointNoise(std::span<const double> values) {
    if (values.size() < 2) {
        return 0;
    }
    std::vector<double> differences;
    for (std::size_t i = 1; i < values.size(); ++i) {
        differences.push_back(std::fabs(values[i] - values[i - 1]));
    }
    return 1.4826 * medianOf(differences) / std::sqrt(2.0);
}

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

EclipseProfile profileOf(std::span<const double> times, std::span<const double> magnitudes,
                         const std::vector<double>& smoothed) {
    EclipseProfile profile;
    if (magnitudes.empty()) {
        return profile;
    }
    const std::size_t half = halfSpan(magnitudes.size());
    std::vector<double> ordered = smoothed;
    std::sort(ordered.begin(), ordered.end());
    profile.normal = ordered[ordered.size() / 20];
    const auto deepest = std::max_element(smoothed.begin(), smoothed.end()) - smoothed.begin();
    profile.deepest = smoothed[static_cast<std::size_t>(deepest)];
    profile.deepestTime = times[static_cast<std::size_t>(deepest)];
    profile.noise = pointToPointNoise(magnitudes);
    // A median of 2k + 1 points scatters about 1.25 / sqrt(2k + 1) as much as one point.
    profile.smoothedNoise = profile.noise * 1.2533 / std::sqrt(static_cast<double>(2 * half + 1));
    return profile;
}

}  // namespace

std::optional<std::string> implausibility(std::span<const double> times, std::span<const double> magnitudes,
                                          double minimumTime) {
    if (times.size() < 5) {
        return std::nullopt;  // too few to judge; the error shows how little they say
    }
    if (!(minimumTime >= times.front() && minimumTime <= times.back())) {
        return "the time of minimum lies outside the observations";
    }
    const std::vector<double> smoothed = runningMedian(magnitudes, halfSpan(magnitudes.size()));
    const EclipseProfile profile = profileOf(times, magnitudes, smoothed);
    const double depth = profile.deepest - profile.normal;
    if (!(depth > 5 * profile.smoothedNoise)) {
        return formatted("no eclipse stands out of the noise (depth %.4f mag, scatter of the smoothed curve %.4f mag)",
                         depth, profile.smoothedNoise);
    }
    const double halfDepth = profile.normal + depth / 2;
    const double level = levelAt(times, smoothed, minimumTime);
    if (level < halfDepth) {
        return formatted("the time lies outside the eclipse: the light there is %.0f%% of the depth below the "
                         "normal level (the deepest point is at %.6f)",
                         100 * (level - profile.normal) / depth, profile.deepestTime);
    }
    // The branches: on each side the smoothed light must rise by at least a
    // quarter of the depth, so that the minimum is bracketed. Files cut close
    // to the minimum (a common way of sharing an eclipse) pass.
    const double branchLevel = profile.normal + 0.75 * depth;
    const auto after = static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), minimumTime) -
                                                times.begin());
    std::size_t left = after;
    while (left > 0 && smoothed[left - 1] >= branchLevel) {
        --left;
    }
    std::size_t right = after;
    while (right < smoothed.size() && smoothed[right] >= branchLevel) {
        ++right;
    }
    if (left == 0) {
        return std::string("the observations begin inside the eclipse: its first branch is missing");
    }
    if (right == smoothed.size()) {
        return std::string("the observations end inside the eclipse: its second branch is missing");
    }
    const double core = times[right] - times[left - 1];  // the eclipse's width at three quarters of its depth
    if (after > 0 && after < times.size()) {
        const double gap = times[after] - times[after - 1];
        if (gap > core / 2) {
            return formatted("a gap of %.1f minutes lies across the minimum, more than half the eclipse's width "
                             "at three quarters of its depth (%.1f minutes)",
                             gap * kMinutesPerDay, core * kMinutesPerDay);
        }
    }
    return std::nullopt;
}

}  // namespace kvw::timing
