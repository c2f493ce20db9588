// The eclipses an ephemeris predicts within a light curve, and whether the
// observations cover each well enough to be timed.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kvw::timing {

// Eclipses at epoch + E * period (primaries) and, with a secondary phase, at
// epoch + (E + phase) * period; each timed on the observations within
// halfWidth days of its predicted time. Without a period, the one eclipse at
// the epoch.
struct Ephemeris {
    double epoch = 0;
    std::optional<double> period;
    double halfWidth = 0;
    std::optional<double> secondaryPhase;

    bool operator==(const Ephemeris&) const = default;
};

enum class EclipseType { none, primary, secondary };

// One predicted eclipse and the observations of its window: the indices
// [first, last) of the times within halfWidth of `predicted`.
struct EclipseWindow {
    double cycle = 0;       // E, or E + phase for a secondary
    EclipseType type = EclipseType::none;
    double predicted = 0;   // days
    std::size_t first = 0;
    std::size_t last = 0;
};

// Why the ephemeris cannot predict the eclipses within the sorted times, in
// the observer's words; nothing when it can. Refused: more than 1000000
// periods within the times (a mistyped time, or a period in another unit),
// and predictions that cannot be told apart in double precision at the
// times (a rounding of epoch + E * period larger than a thousandth of the
// half-width or of the distance between two predicted eclipses: an epoch
// far from the observations, a secondary phase next to 0 or 1).
std::optional<std::string> ephemerisProblem(std::span<const double> sortedTimes, const Ephemeris& ephemeris);

// The eclipses predicted from the first to the last of the sorted times, in
// time order (for an epoch alone: the one eclipse at the epoch, when it lies
// there). None when ephemerisProblem finds a problem.
std::vector<EclipseWindow> predictEclipses(std::span<const double> sortedTimes, const Ephemeris& ephemeris);

// Why the observations of a window cannot time its eclipse: fewer than
// `minimumPoints` on either side of the predicted time, or a gap across it
// longer than a quarter of the half-width. Nothing when they can.
std::optional<std::string> coverageProblem(std::span<const double> sortedTimes, const EclipseWindow& window,
                                           const Ephemeris& ephemeris, std::size_t minimumPoints);

}  // namespace kvw::timing
