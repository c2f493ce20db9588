#include "timing/ephemeris.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/units.h"

namespace kvw::timing {

namespace {

EclipseWindow windowAt(std::span<const double> times, double cycle, EclipseType type, double predicted,
                       double halfWidth) {
    EclipseWindow window;
    window.cycle = cycle;
    window.type = type;
    window.predicted = predicted;
    window.first = static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), predicted - halfWidth) -
                                            times.begin());
    window.last = static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), predicted + halfWidth) -
                                           times.begin());
    return window;
}

}  // namespace

std::vector<EclipseWindow> predictEclipses(std::span<const double> times, const Ephemeris& ephemeris) {
    std::vector<EclipseWindow> windows;
    if (times.empty()) {
        return windows;
    }
    const double begin = times.front();
    const double end = times.back();
    if (!ephemeris.period) {
        if (ephemeris.epoch >= begin && ephemeris.epoch <= end) {
            windows.push_back(windowAt(times, 0, EclipseType::primary, ephemeris.epoch, ephemeris.halfWidth));
        }
        return windows;
    }
    const double period = *ephemeris.period;
    const double phase = ephemeris.secondaryPhase.value_or(0);
    // Cycles from the one before the data to the one after, primaries and
    // secondaries in order of cycle, hence of time.
    const double firstCycle = std::floor((begin - ephemeris.epoch) / period) - 1;
    const double lastCycle = std::ceil((end - ephemeris.epoch) / period) + 1;
    for (double e = firstCycle; e <= lastCycle; ++e) {
        const double primary = ephemeris.epoch + e * period;
        if (primary >= begin && primary <= end) {
            windows.push_back(windowAt(times, e, EclipseType::primary, primary, ephemeris.halfWidth));
        }
        if (ephemeris.secondaryPhase) {
            const double secondary = ephemeris.epoch + (e + phase) * period;
            if (secondary >= begin && secondary <= end) {
                windows.push_back(windowAt(times, e + phase, EclipseType::secondary, secondary, ephemeris.halfWidth));
            }
        }
    }
    return windows;
}

std::optional<std::string> coverageProblem(std::span<const double> times, const EclipseWindow& window,
                                           const Ephemeris& ephemeris, std::size_t minimumPoints) {
    const auto split = static_cast<std::size_t>(
        std::lower_bound(times.begin() + static_cast<std::ptrdiff_t>(window.first),
                         times.begin() + static_cast<std::ptrdiff_t>(window.last), window.predicted) -
        times.begin());
    const std::size_t before = split - window.first;
    const std::size_t after = window.last - split;
    if (before < minimumPoints || after < minimumPoints) {
        return std::to_string(before) + " observation(s) before and " + std::to_string(after) +
               " after the predicted time, at least " + std::to_string(minimumPoints) + " needed on each side";
    }
    const double gap = times[split] - times[split - 1];
    if (gap > ephemeris.halfWidth / 4) {
        char text[96];
        std::snprintf(text, sizeof text, "a gap of %.1f minutes in the observations across the predicted time",
                      gap * kMinutesPerDay);
        return std::string(text);
    }
    return std::nullopt;
}

}  // namespace kvw::timing
