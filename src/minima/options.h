// The command line of kvw-minima.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "minima/time_scales.h"
#include "readers/light_curve.h"
#include "timing/ephemeris.h"

namespace kvw::minima {

enum class OutputFormat { csv, json };

struct Options {
    std::vector<std::string> files;
    std::optional<timing::Ephemeris> ephemeris;
    std::optional<std::size_t> minimumPoints;  // none: chosen from the cadence
    double timeOffset = 0;                     // days added to every time read
    std::optional<double> noise;  // magnitudes per observation, when the user knows it
    unsigned jobs = 1;
    readers::ReadOptions columns;
    TimeScaleOptions timeScales;  // --time-scale, --ra and --dec, --time-out
    std::string output;  // empty: standard output
    OutputFormat format = OutputFormat::csv;
    std::string plotDirectory;  // empty: no pictures
    std::string plotFormat = "svg";  // svg, pdf or png

    bool operator==(const Options&) const = default;
};

// The outcome of reading the command line: the options, or the text to print
// and the status to end with (--help and --version end with 0 and their
// text on standard output; a mistake with 2 and a message for the error
// stream that points to --help).
struct CommandLine {
    std::optional<Options> options;
    std::string text;
    bool toErrorStream = false;
    int status = 0;
};

CommandLine parseCommandLine(int argc, const char* const* argv);

}  // namespace kvw::minima
