#include "minima/time_scales.h"

#include <cstdio>

namespace kvw::minima {

namespace {

using timescale::TimeScale;

// Two positions farther apart than this are named: a star mistaken for
// another moves the light time by up to 0.15 s per arcminute.
constexpr double kSamePositionDegrees = 1.0 / 60;

std::string name(TimeScale scale) {
    return std::string(timescale::scaleName(scale));
}

std::string positionText(const timescale::SkyPosition& position) {
    char text[64];
    std::snprintf(text, sizeof text, "RA %.5f, Dec %+.5f degrees", position.rightAscension, position.declination);
    return text;
}

// The scale of the curve's times: the file's, or the declared one where the
// file states none; a ScaleMismatch where they differ.
TimeScale inputScale(const readers::LightCurve& curve, const TimeScaleOptions& options) {
    if (!options.declared || *options.declared == curve.timeScale) {
        return curve.timeScale;
    }
    if (curve.timeScale != TimeScale::unknown) {
        throw ScaleMismatch(curve.source + ": --time-scale declares " + name(*options.declared) +
                            ", but the file states " + name(curve.timeScale) + " (" + curve.timeScaleSource +
                            "): leave --time-scale out for this file");
    }
    return *options.declared;
}

}  // namespace

TimeScale rowScale(TimeScale input, bool havePosition, TimeOut out) {
    switch (out) {
        case TimeOut::bjd: return TimeScale::bjdTdb;
        case TimeOut::hjd: return TimeScale::hjdUtc;
        case TimeOut::asRead: return input;
        case TimeOut::automatic: break;
    }
    return input != TimeScale::unknown && havePosition ? TimeScale::bjdTdb : input;
}

std::vector<std::string> putInRowScale(readers::LightCurve& curve, const TimeScaleOptions& options,
                                       unsigned threads) {
    std::vector<std::string> notes;
    const TimeScale input = inputScale(curve, options);
    std::optional<timescale::SkyPosition> position = options.position ? options.position : curve.position;
    if (options.position && curve.position &&
        timescale::separation(*options.position, *curve.position) > kSamePositionDegrees) {
        notes.push_back("the position given (" + positionText(*options.position) + ") is used, not the file's (" +
                        positionText(*curve.position) + ")");
    }
    const TimeScale output = rowScale(input, position.has_value(), options.out);
    if (output == input) {
        if (options.out == TimeOut::automatic && input != TimeScale::unknown && input != TimeScale::bjdTdb) {
            notes.push_back("times left in " + name(input) + ": give --ra and --dec to have them in BJD_TDB");
        }
        curve.timeScale = input;
        return notes;
    }
    if (input == TimeScale::unknown) {
        throw ScaleMismatch(curve.source + ": nothing says in which time scale the times are, so they cannot be put "
                            "in " + name(output) + ": declare it with --time-scale jd, hjd or bjd");
    }
    if (!position) {
        throw ScaleMismatch(curve.source + ": " + name(input) + " cannot be put in " + name(output) +
                            " without the star's position: give --ra and --dec");
    }
    try {
        timescale::ConvertedTimes converted = timescale::convertTimes(curve.times, input, output, *position, threads);
        curve.times = std::move(converted.times);
        notes.push_back("times converted from " + name(input) + " to " + name(output) + " for " +
                        positionText(*position));
        if (converted.note) {
            notes.push_back(*converted.note);
        }
    } catch (const timescale::TimeScaleError& error) {
        throw ScaleMismatch(curve.source + ": " + name(input) + " cannot be put in " + name(output) + ": " +
                            error.what());
    }
    curve.timeScale = output;
    return notes;
}

}  // namespace kvw::minima
