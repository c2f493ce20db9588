// The eclipses an ephemeris predicts within a light curve, and whether the
// observations cover each well enough to be timed.
#pragma once

#include <cmath>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvw::timing {

// Eclipses at epoch + E * period (primaries) and, with a secondary phase, at
// epoch + (E + phase) * period; each timed on the observations within a
// half-width of its predicted time: the user's, or one measured from the light
// curve (eclipse_extent.h). Without a period, the one eclipse at the epoch.
struct Ephemeris {
    double epoch = 0;
    std::optional<double> period;
    std::optional<double> halfWidth;  // days; none: measured
    std::optional<double> secondaryPhase;

    bool operator==(const Ephemeris&) const = default;
};

enum class EclipseType { none, primary, secondary };

// Half the way from an eclipse of this type to the nearest eclipse of either
// type, a secondary taken at phase 0.5 when none is given: no window reaches
// farther, so that none holds another eclipse. Infinite without a period.
double halfWidthLimit(const Ephemeris& ephemeris, EclipseType type);

// The windows of each type: their half-widths (days), the fewest
// observations on each side of a predicted time to time its eclipse, and the
// longest gap across it (days) that still does.
struct WindowSizes {
    double primaryHalfWidth = 0;
    double secondaryHalfWidth = 0;
    std::size_t primaryMinimumPoints = 5;
    std::size_t secondaryMinimumPoints = 5;
    double primaryLongestGap = HUGE_VAL;
    double secondaryLongestGap = HUGE_VAL;
};

// One predicted eclipse and the observations of its window: the indices
// [first, last) of the times within halfWidth of `predicted`, and
// [contextFirst, contextLast) of those within twice that (within the limit),
// over which the noise's slow swings are measured.
struct EclipseWindow {
    double cycle = 0;       // E, or E + phase for a secondary
    EclipseType type = EclipseType::none;
    double predicted = 0;   // days
    double halfWidth = 0;   // days
    std::size_t minimumPoints = 5;
    double longestGap = HUGE_VAL;  // days
    std::size_t first = 0;
    std::size_t last = 0;
    std::size_t contextFirst = 0;
    std::size_t contextLast = 0;
};

// The eclipses predicted around the observations: those whose windows hold
// at least one of them, and how many others fell within the observations' span.
struct PredictedEclipses {
    std::vector<EclipseWindow> windows;
    std::size_t skipped = 0;
};

// Why the epoch is in another time scale than the sorted times, in the
// observer's words: it lies more than 100000 days from them (longer than any
// run of observations), and which usual offset (2400000, 2400000.5, 2450000,
// 2454833, 2457000 days) would bring it to them; nothing when it lies near.
std::optional<std::string> timeScaleProblem(std::span<const double> sortedTimes, const Ephemeris& ephemeris);

// Why the ephemeris cannot predict the eclipses within the sorted times, in
// the observer's words; nothing when it can. Refused: more than 1000000
// periods within the times (a mistyped time, or a period in another unit),
// and predictions that cannot be told apart in double precision at the
// times (a rounding of epoch + E * period larger than a thousandth of the
// half-width or of the distance between two predicted eclipses: an epoch
// far from the observations, a secondary phase next to 0 or 1).
// `halfWidth` is the narrowest window's.
std::optional<std::string> ephemerisProblem(std::span<const double> sortedTimes, const Ephemeris& ephemeris,
                                            double halfWidth);

// The eclipses whose windows hold at least one of the sorted times, in time
// order (for an epoch alone: the one eclipse at the epoch). None when
// ephemerisProblem finds a problem.
PredictedEclipses predictEclipses(std::span<const double> sortedTimes, const Ephemeris& ephemeris,
                                  const WindowSizes& sizes);

// Why the observations of a window cannot time its eclipse: fewer than its
// minimum on either side of the predicted time (an eclipse whose egress alone
// was observed), or a gap across it longer than the window allows. Nothing
// when they can.
std::optional<std::string> coverageProblem(std::span<const double> sortedTimes, const EclipseWindow& window);

}  // namespace kvw::timing
