// The steps of kvw-minima's run from a light curve to its rows, shared by the
// program and the Python package: the file read as the program reads it, the
// eclipses laid out by the ephemeris of the options, the settings of their
// timing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "minima/options.h"
#include "readers/light_curve.h"
#include "timing/time_eclipses.h"

namespace kvw::minima {

// The light curve of a file, read as the options say (FITS through the
// module); a ReadError naming the file when it cannot be read.
readers::LightCurve readInputFile(const std::string& name, const Options& options);

// The eclipses of a light curve (which must outlive them): one per window of
// the ephemeris of the options, or the whole curve without one; or why the
// ephemeris is refused for this curve, and then no eclipse.
struct LaidOut {
    std::vector<timing::Eclipse> eclipses;
    std::optional<std::string> refusal;
};
LaidOut layOutEclipses(const timing::CurveView& curve, const Options& options);

// How the eclipses are timed; `keepMethod` keeps each one's grid, trials and
// parabola (for the JSON table, the pictures, the Python package).
timing::TimingSettings timingSettings(const Options& options, bool keepMethod);

}  // namespace kvw::minima
