// Whether a time of minimum lies in the eclipse that the observations show:
// the method folds whatever it is given, and on the flat part of a long run or
// between two eclipses it finds a confident minimum where there is none.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace kvw::timing {

// Why `minimumTime` is not a credible time of minimum of the eclipse in these
// observations (sorted by time), judged on their running median: no eclipse
// stands out of the noise; the light at that time lies less than half the
// depth below the normal level (and when the light grows fainter on both
// sides of it over most of the window, the values look like fluxes read as
// magnitudes); on one side the light does not rise over a quarter of the depth
// (a branch is missing); or a gap of more than half the eclipse's width at
// half its depth lies across it. Nothing when credible.
//
// `noise` is the scatter of one observation when it is known (the user's, or
// measured outside the eclipses of the whole light curve); without it, it is
// measured from the second differences of the observations outside the
// eclipse (where the smoothed light lies within 5 % of the depth of the
// normal level), or of all when fewer than 10 lie there: never from the
// eclipse's own slope.
std::optional<std::string> implausibility(std::span<const double> times, std::span<const double> magnitudes,
                                          double minimumTime, std::optional<double> noise = std::nullopt);

}  // namespace kvw::timing
