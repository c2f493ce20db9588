// Pictures of timed eclipses and of the O−C diagram, drawn with PLplot's cairo
// devices. The interface is plain data: the caller fills the pictures from
// its own results; nothing here runs the method.
//
// The output format follows the file's extension: .svg, .pdf or .png (any
// letter case). Each call draws one picture in a PLplot stream of its own and
// ends it, so any number of pictures may be drawn in one process. Nothing is
// written to standard output. PLplot is not thread-safe: call these functions
// from one thread only (and use no other PLplot stream meanwhile).
#pragma once

#include <array>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace kvw::plot {

inline constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// One eclipse: its observations and, when the method got that far, the
// resampled branch, the symmetry sums and the fitted parabola. Times are
// absolute days (e.g. BJD); non-finite values are left out of the picture.
struct EclipsePicture {
    std::string title;   // e.g. "V456_Cyg.txt   E = 12 primary"
    std::string result;  // e.g. "2459000.427232 ± 0.000035 d   ok", or the reason of a row without a time
    std::string timeScale = "JD";  // names the time axis: "BJD − 2459000"

    std::vector<double> times, magnitudes;          // the observations of the eclipse
    std::vector<double> gridTimes, gridMagnitudes;  // the resampled branch; may be empty
    std::vector<double> trialTimes, sums;           // the trials of the search range; may be empty

    // The parabola S(T) = a (T − fitOrigin)² + b (T − fitOrigin) + c through
    // the three points (fitTimes, fitSums).
    bool hasFit = false;
    double fitOrigin = 0, a = 0, b = 0, c = 0;
    std::array<double, 3> fitTimes{}, fitSums{};

    double minimumTime = kNoValue;    // with its standard error; NaN when there is no time
    double error = kNoValue;
    double predictedTime = kNoValue;  // from an ephemeris; NaN without one
};

// One timed eclipse in the O−C diagram.
struct OcPoint {
    double cycle = 0;   // E, half-integers for secondaries
    double ocDays = 0;  // observed minus computed time
    double errorDays = 0;
    bool secondary = false;
};

// Drawing failed: an unknown extension, a file that cannot be written, a
// missing PLplot device, or PLplot's own failure.
struct PlotError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Two panels sharing the time axis: the observations (magnitudes increasing
// downwards) with the resampled branch, the time of minimum, its error band
// and the predicted time; below, the symmetry sums with the parabola of the
// fit, its three points and its vertex, and a zoom on the fit. A picture
// without a time still shows the observations, with the reason as its result.
void drawEclipse(const EclipsePicture& picture, const std::string& path);

// O−C in minutes against cycle, with error bars, primaries and secondaries
// told apart by their markers; the caption (e.g. the rows left out) is
// written under the diagram. No points give an empty frame with the caption.
void drawOcDiagram(const std::vector<OcPoint>& points, const std::string& title, const std::string& caption,
                   const std::string& path);

}  // namespace kvw::plot
