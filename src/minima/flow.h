// The steps of kvw-minima's run from a light curve to its rows, shared by the
// program and the Python package: the file read as the program reads it, its
// times put in the rows' scale, the eclipses laid out by the ephemeris of the
// options, the settings of their timing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "minima/options.h"
#include "readers/light_curve.h"
#include "timescale/time_scale.h"
#include "timing/time_eclipses.h"

namespace kvw::minima {

// The light curve of a file, read as the options say (FITS through the
// module); a ReadError naming the file when it cannot be read.
readers::LightCurve readInputFile(const std::string& name, const Options& options);

// The eclipses of a light curve whose times are in the rows' scale (the view
// names it; the curve must outlive the eclipses): one per window of the
// ephemeris of the options, or the whole curve without one. The notes say how
// the windows were chosen and which eclipses were left out; a refusal says
// why the ephemeris cannot be used with this curve, and then there is no
// eclipse.
struct LaidOut {
    std::vector<timing::Eclipse> eclipses;
    std::vector<std::string> notes;
    std::optional<std::string> refusal;
};
LaidOut layOutEclipses(const timing::CurveView& curve, const Options& options);

// The eclipses of a light curve as kvw-minima lays them out: its times first
// put in the rows' scale (--time-offset added, then converted as
// --time-scale, --ra, --dec and --time-out say; a ScaleMismatch when the
// options do not fit the file), then layOutEclipses. The notes of both, in
// that order; a refusal comes before any note of the windows.
LaidOut layOutCurve(readers::LightCurve& curve, const Options& options);

// Points in memory state no scale: --time-scale alone declares it. Their
// scale when layOutCurve would leave their times as they are and say nothing
// of them (so they can be laid out where they lie); none when it would not.
std::optional<timescale::TimeScale> scaleKeptInMemory(const Options& options);

// How the eclipses are timed; `keepMethod` keeps each one's grid, trials and
// parabola (for the JSON table, the pictures, the Python package).
timing::TimingSettings timingSettings(const Options& options, bool keepMethod);

}  // namespace kvw::minima
