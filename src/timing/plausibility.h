// Whether a time of minimum lies in the eclipse that the observations show:
// the method folds whatever it is given, and on the flat part of a long run or
// between two eclipses it finds a confident minimum where there is none.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace kvw::timing {

// Why `minimumTime` is not a credible time of minimum of the eclipse in these
// observations (sorted by time): no eclipse stands out of the noise; the
// smoothed light at that time lies less than half the depth below the normal
// level; on one side the light does not rise over a quarter of the depth (a
// branch is missing); or a gap of more than half the eclipse's width at three
// quarters of its depth lies across it. Nothing when credible.
std::optional<std::string> implausibility(std::span<const double> times, std::span<const double> magnitudes,
                                          double minimumTime);

}  // namespace kvw::timing
