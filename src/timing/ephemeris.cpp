#include "timing/ephemeris.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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

// More cycles than any light curve holds.
constexpr double kMostCycles = 1'000'000;
// A prediction is rounded to less than a thousandth of the half-width and of
// the distance between two predicted eclipses.
constexpr double kRoundingMargin = 1000;

std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

}  // namespace

std::optional<std::string> ephemerisProblem(std::span<const double> times, const Ephemeris& ephemeris) {
    if (times.empty() || !ephemeris.period) {
        return std::nullopt;
    }
    const double period = *ephemeris.period;
    const double begin = times.front();
    const double end = times.back();
    if (!((end - begin) / period <= kMostCycles)) {
        return "the observations span " + numberText(end - begin) + " days (from " + numberText(begin) + " to " +
               numberText(end) + "), more than " + numberText(kMostCycles) + " periods of " + numberText(period) +
               " days: a mistyped time, or a period in another unit?";
    }
    // epoch + E * period at the times: its largest term sets its rounding.
    const double largest = std::max({std::fabs(ephemeris.epoch), std::fabs(begin - ephemeris.epoch),
                                     std::fabs(end - ephemeris.epoch), std::fabs(begin), std::fabs(end)}) +
                           period;
    const double rounding = 2 * (std::nextafter(largest, HUGE_VAL) - largest);  // NaN when not finite
    const double phase = ephemeris.secondaryPhase.value_or(0);
    const double apart = ephemeris.secondaryPhase ? period * std::min(phase, 1 - phase) : period;
    if (rounding * kRoundingMargin <= std::min(ephemeris.halfWidth, apart)) {
        return std::nullopt;
    }
    if (rounding * kRoundingMargin <= std::min(ephemeris.halfWidth, period)) {  // the phase is to blame
        return "the secondary phase " + numberText(phase) + " puts the secondaries " + numberText(apart) +
               " days from the primaries: in double precision their predicted times cannot be told apart";
    }
    const double cycles = (begin - ephemeris.epoch) / period;
    return "in double precision the predicted times at the observations are uncertain by " + numberText(rounding) +
           " days, too coarse for a half-width of " + numberText(ephemeris.halfWidth) + " days and a period of " +
           numberText(period) + " days" +
           (std::fabs(cycles) > kMostCycles ? " (the epoch lies " + numberText(cycles) + " cycles from them)" : "");
}

std::vector<EclipseWindow> predictEclipses(std::span<const double> times, const Ephemeris& ephemeris) {
    std::vector<EclipseWindow> windows;
    if (times.empty() || ephemerisProblem(times, ephemeris)) {
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
    // secondaries in order of cycle, hence of time; counted in whole numbers,
    // at most kMostCycles + 3 of them (ephemerisProblem).
    const auto firstCycle = static_cast<std::int64_t>(std::floor((begin - ephemeris.epoch) / period)) - 1;
    const auto lastCycle = static_cast<std::int64_t>(std::ceil((end - ephemeris.epoch) / period)) + 1;
    for (std::int64_t cycle = firstCycle; cycle <= lastCycle; ++cycle) {
        const auto e = static_cast<double>(cycle);
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
