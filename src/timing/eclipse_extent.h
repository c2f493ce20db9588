// What a light curve shows of its eclipses once folded on the ephemeris: how
// far each eclipse type reaches from its predicted time, the cadence, and the
// noise of the observations outside the eclipses. kvw-minima chooses from
// these the window of each eclipse and the fewest observations on its sides
// when the user gives none.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "timing/ephemeris.h"

namespace kvw::timing {

struct EclipseExtent {
    // Days from the predicted time to the farther place where the smoothed
    // fold regains the level outside the eclipse (within 5 % of the depth, or
    // three times the scatter of the smoothed fold); none when it regains it
    // on neither side within the observations.
    std::optional<double> reach;
    double depth = 0;    // of the smoothed fold, magnitudes
    bool found = false;  // an eclipse stands out of the smoothed fold's scatter
    bool dips = false;   // the values fall at the eclipse instead of rising: fluxes read as magnitudes
};

struct CurveSurvey {
    double cadence = 0;           // the median interval between consecutive observations, days
    std::optional<double> noise;  // of one observation outside the eclipses, magnitudes
    EclipseExtent primary;
    EclipseExtent secondary;      // measured with a secondary phase only
};

// Times sorted, one magnitude each; every cycle of each eclipse type folded on
// the ephemeris within its half-width limit.
CurveSurvey surveyCurve(std::span<const double> times, std::span<const double> magnitudes, const Ephemeris& ephemeris);

// The half-width of the windows of one type without the user's: 1.5 times the
// reach of its eclipse and two cadences more (the other type's reach when its
// own was not found), within `limit`; `limit`, or `span` where that is
// infinite, when neither was found.
double automaticHalfWidth(const CurveSurvey& survey, EclipseType type, double limit, double span);

// The fewest observations on each side of a predicted time without the user's
// choice: a quarter of what the cadence gives a side of the window, at least 3.
std::size_t automaticMinimumPoints(double halfWidth, double cadence);

// The longest gap across a predicted time that still times the eclipse: a
// quarter of the half-width, or three cadences where that is longer (one or
// two observations missing at a sparse cadence).
double longestGap(double halfWidth, double cadence);

// The windows of a light curve's eclipses: the survey, and the sizes of each
// type's windows, the user's (the half-width cut to halfWidthLimit) or chosen
// from the survey.
struct WindowPlan {
    CurveSurvey survey;
    WindowSizes sizes;
    bool cut = false;  // the user's half-width reached past the limit of a type
};

WindowPlan planWindows(std::span<const double> times, std::span<const double> magnitudes, const Ephemeris& ephemeris,
                       std::optional<std::size_t> minimumPoints);

}  // namespace kvw::timing
