// What is wrong with observations the method could not time, in the
// observer's words. Internal to timing.
#pragma once

#include <span>
#include <string>

namespace kvw::timing {

// Why the method could not time these observations (sorted by time): all at
// one time, a flat light curve, no observation fainter than both ends, the
// squares of magnitude or time differences overflowing, a first time too
// large for the whole-day offset, or duplicated times. `otherwise` when the
// observations show none of these.
std::string curveFault(std::span<const double> times, std::span<const double> magnitudes,
                       const std::string& otherwise);

}  // namespace kvw::timing
