// The time scale of each light curve in kvw-minima: the one its file states
// or the one declared with --time-scale, and the scale its rows are given in
// (--time-out), the observation times converted before they are timed.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "readers/light_curve.h"
#include "timescale/time_scale.h"

namespace kvw::minima {

// --time-out: BJD_TDB where the scale and the position allow it (automatic),
// BJD_TDB or HJD_UTC by all means, or the scale as read.
enum class TimeOut { automatic, bjd, hjd, asRead };

struct TimeScaleOptions {
    std::optional<timescale::TimeScale> declared;    // --time-scale: the files' scale
    std::optional<timescale::SkyPosition> position;  // --ra and --dec
    TimeOut out = TimeOut::automatic;

    bool operator==(const TimeScaleOptions&) const = default;
};

// What a file's time scale and the options allow: a ScaleMismatch names the
// file and says what to give or mend. The run ends with status 2 and writes
// nothing.
struct ScaleMismatch : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The scale of the rows for times in `input`: the one --time-out asks for,
// else BJD_TDB where the input's scale is known and the position is there
// (or the times are BJD_TDB already), else the input's.
timescale::TimeScale rowScale(timescale::TimeScale input, bool havePosition, TimeOut out);

// Puts the curve's times into the scale of its rows, converted on up to
// `threads` threads, and sets curve.timeScale to that scale; returns the
// notes for the error stream (the conversion made, a scale left as read for
// want of a position, a position that differs from the file's). Times that
// are not converted keep every bit.
std::vector<std::string> putInRowScale(readers::LightCurve& curve, const TimeScaleOptions& options,
                                       unsigned threads);

}  // namespace kvw::minima
