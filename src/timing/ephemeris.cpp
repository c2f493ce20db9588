#include "timing/ephemeris.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <charconv>
#include <cstdio>
#include <system_error>
#include <string>
#include <tuple>
#include <utility>

#include "base/units.h"
#include "timing/detail/number_text.h"

namespace kvw::timing {

namespace {

// The indices [first, last) of the times within `reach` of `centre`.
std::pair<std::size_t, std::size_t> indicesWithin(std::span<const double> times, double centre, double reach) {
    return {static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), centre - reach) - times.begin()),
            static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), centre + reach) - times.begin())};
}

EclipseWindow windowAt(std::span<const double> times, const Ephemeris& ephemeris, double cycle, EclipseType type,
                       double predicted, const WindowSizes& sizes) {
    const bool secondary = type == EclipseType::secondary;
    EclipseWindow window;
    window.cycle = cycle;
    window.type = type;
    window.predicted = predicted;
    window.halfWidth = secondary ? sizes.secondaryHalfWidth : sizes.primaryHalfWidth;
    window.minimumPoints = secondary ? sizes.secondaryMinimumPoints : sizes.primaryMinimumPoints;
    window.longestGap = secondary ? sizes.secondaryLongestGap : sizes.primaryLongestGap;
    std::tie(window.first, window.last) = indicesWithin(times, predicted, window.halfWidth);
    const double context = std::min(2 * window.halfWidth, halfWidthLimit(ephemeris, type));
    std::tie(window.contextFirst, window.contextLast) =
        indicesWithin(times, predicted, std::max(context, window.halfWidth));
    return window;
}

// Beyond this many days from the observations an epoch is in another time scale.
constexpr double kFarthestEpoch = 100000;

// More cycles than any light curve holds.
constexpr double kMostCycles = 1'000'000;
// A prediction is rounded to less than a thousandth of the half-width and of
// the distance between two predicted eclipses.
constexpr double kRoundingMargin = 1000;

using detail::numberText;

std::string fixedText(double value, int decimals) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The shortest text that reads back to the same double: the number as it was typed.
std::string typedText(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return error == std::errc() ? std::string(text, end) : numberText(value);
}

// The decimals of a number as it was typed.
int decimalsOf(double value) {
    const std::string text = typedText(value);
    const std::size_t point = text.find('.');
    return point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

}  // namespace

double halfWidthLimit(const Ephemeris& ephemeris, EclipseType) {
    if (!ephemeris.period) {
        return HUGE_VAL;
    }
    const double phase = ephemeris.secondaryPhase.value_or(0.5);
    return *ephemeris.period * std::min(phase, 1 - phase) / 2;
}

std::optional<std::string> timeScaleProblem(std::span<const double> times, const Ephemeris& ephemeris) {
    if (times.empty()) {
        return std::nullopt;
    }
    const double distance = ephemeris.epoch - (times.front() + times.back()) / 2;
    if (!(std::fabs(distance) > kFarthestEpoch)) {
        return std::nullopt;
    }
    std::string text = "the epoch " + typedText(ephemeris.epoch) + " lies " + fixedText(std::fabs(distance), 0) +
                       " days " + (distance > 0 ? "after" : "before") + " the observations (" +
                       fixedText(times.front(), 3) + " to " + fixedText(times.back(), 3) + ")";
    // The usual offset that brings the epoch nearest the observations.
    double offset = 0;
    for (const double usual : {2400000.0, 2400000.5, 2450000.0, 2454833.0, 2457000.0}) {
        if (std::fabs(std::fabs(distance) - usual) < std::fabs(std::fabs(distance) - offset)) {
            offset = usual;
        }
    }
    if (!(std::fabs(std::fabs(distance) - offset) < kFarthestEpoch)) {
        return text + ": the ephemeris and the file are in different time scales";
    }
    const int decimals = decimalsOf(ephemeris.epoch);
    if (distance > 0) {
        return text + ": the file's times look like days less " + numberText(offset) + "; give --time-offset " +
               numberText(offset) + ", or the epoch in the file's scale (" +
               fixedText(ephemeris.epoch - offset, decimals) + ")";
    }
    return text + ": the epoch looks like days less " + numberText(offset) + "; give it in the file's scale (" +
           fixedText(ephemeris.epoch + offset, decimals) + ")";
}

std::optional<std::string> ephemerisProblem(std::span<const double> times, const Ephemeris& ephemeris,
                                            double halfWidth) {
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
    if (rounding * kRoundingMargin <= std::min(halfWidth, apart)) {
        return std::nullopt;
    }
    if (rounding * kRoundingMargin <= std::min(halfWidth, period)) {  // the phase is to blame
        return "the secondary phase " + numberText(phase) + " puts the secondaries " + numberText(apart) +
               " days from the primaries: in double precision their predicted times cannot be told apart";
    }
    const double cycles = (begin - ephemeris.epoch) / period;
    return "in double precision the predicted times at the observations are uncertain by " + numberText(rounding) +
           " days, too coarse for a half-width of " + numberText(halfWidth) + " days and a period of " +
           numberText(period) + " days" +
           (std::fabs(cycles) > kMostCycles ? " (the epoch lies " + numberText(cycles) + " cycles from them)" : "");
}

PredictedEclipses predictEclipses(std::span<const double> times, const Ephemeris& ephemeris,
                                  const WindowSizes& sizes) {
    PredictedEclipses predicted;
    const double narrowest = std::min(sizes.primaryHalfWidth, ephemeris.secondaryPhase ? sizes.secondaryHalfWidth
                                                                                        : sizes.primaryHalfWidth);
    if (times.empty() || ephemerisProblem(times, ephemeris, narrowest)) {
        return predicted;
    }
    auto add = [&](double cycle, EclipseType type, double time) {
        const EclipseWindow window = windowAt(times, ephemeris, cycle, type, time, sizes);
        if (window.last > window.first) {
            predicted.windows.push_back(window);
        } else if (time >= times.front() && time <= times.back()) {
            ++predicted.skipped;
        }
    };
    if (!ephemeris.period) {
        add(0, EclipseType::primary, ephemeris.epoch);
        return predicted;
    }
    const double period = *ephemeris.period;
    const double phase = ephemeris.secondaryPhase.value_or(0);
    // Cycles from the one before the data to the one after, primaries and
    // secondaries in order of cycle, hence of time; counted in whole numbers,
    // at most kMostCycles + 3 of them (ephemerisProblem).
    const auto firstCycle = static_cast<std::int64_t>(std::floor((times.front() - ephemeris.epoch) / period)) - 1;
    const auto lastCycle = static_cast<std::int64_t>(std::ceil((times.back() - ephemeris.epoch) / period)) + 1;
    for (std::int64_t cycle = firstCycle; cycle <= lastCycle; ++cycle) {
        const auto e = static_cast<double>(cycle);
        add(e, EclipseType::primary, ephemeris.epoch + e * period);
        if (ephemeris.secondaryPhase) {
            add(e + phase, EclipseType::secondary, ephemeris.epoch + (e + phase) * period);
        }
    }
    return predicted;
}

std::optional<std::string> coverageProblem(std::span<const double> times, const EclipseWindow& window) {
    const std::size_t minimumPoints = window.minimumPoints;
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
    if (gap > window.longestGap) {
        char text[96];
        std::snprintf(text, sizeof text, "a gap of %.1f minutes in the observations across the predicted time",
                      gap * kMinutesPerDay);
        return std::string(text);
    }
    return std::nullopt;
}

}  // namespace kvw::timing
