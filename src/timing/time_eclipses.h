// Timing many eclipses: each window of observations through the method, with
// the checks the console program lacks, on all cores. One structure carries
// each eclipse from its window to its row: what to time, and how it came out.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/eclipse_timing.h"
#include "timing/ephemeris.h"

namespace kvw::timing {

// A light curve as the timing reads it: views of a reader's LightCurve (which
// must outlive them), sorted by time, with the name of its file.
struct CurveView {
    std::string_view source;
    std::string_view timeScale;  // the scale of the times as rows name it ("BJD_TDB", "unknown")
    std::span<const double> times;
    std::span<const double> magnitudes;
    std::span<const double> errors;  // empty, or one per time
    std::optional<double> noise;     // of one observation outside the eclipses, when measured (magnitudes)
};

enum class Status {
    ok,        // timed, and the time lies in the eclipse
    improper,  // the smallest sum lies on an end of the searched trials: no time
    partial,   // the observations do not cover the eclipse: not timed
    suspect,   // timed, but the time does not lie in the eclipse the observations show
    failed,    // the method cannot time these observations: no numbers
};

const char* statusName(Status status);

// How the timing of one eclipse came out: the values of its row.
struct TimedEclipse {
    std::size_t points = 0;  // observations in the window
    double firstTime = 0;    // the first and last of them (NaN when there are none)
    double lastTime = 0;
    Status status = Status::failed;
    std::string reason;      // why the status is not ok
    std::optional<double> time;
    std::optional<double> error;          // the calibrated error
    std::optional<double> errorClassic;   // after Kwee and van Woerden
    std::optional<double> meanValue;
    std::optional<double> oMinusC;        // time - predicted
    std::vector<std::string> flags;
    // The method's work (grid, trials, parabola) for the JSON table and the
    // pictures; kept only when asked for, and only where the method ran.
    std::optional<analysis::EclipseTiming> method;
};

struct TimingSettings {
    std::optional<double> noise;  // magnitudes per observation, when the user knows it
    bool keepMethod = false;      // fill TimedEclipse::method
};

// One eclipse, from its window to its row: the observations [first, last) of a
// light curve, the eclipse an ephemeris predicted there (none when the curve is
// timed whole), and, once timed, how it came out.
struct Eclipse {
    CurveView curve;
    std::size_t first = 0;
    std::size_t last = 0;
    std::optional<EclipseWindow> predicted;
    TimedEclipse timed;

    std::span<const double> times() const { return curve.times.subspan(first, last - first); }
    std::span<const double> magnitudes() const { return curve.magnitudes.subspan(first, last - first); }
};

// The eclipses of a light curve: one per window that an ephemeris predicted
// in it (predictEclipses).
std::vector<Eclipse> eclipsesIn(const CurveView& curve, std::span<const EclipseWindow> windows);

// The whole curve as one eclipse, without an ephemeris.
Eclipse wholeCurve(const CurveView& curve);

// Times every eclipse and checks it, filling each one's `timed`: partial when
// its window does not cover it (coverageProblem); improper or failed as the
// method ends; suspect when the time is not credible (implausibility), when
// the method is unstable in the window (the flag `unstable`), or when the
// time lies farther from its prediction than half the half-width; ok
// otherwise. `jobs`
// threads at most (at least one). `finished`, when given, is counted up as
// each eclipse is done, for a progress display to read. Any failure in one
// eclipse other than a lack of memory makes its row failed with the reason;
// raises std::bad_alloc when memory runs out.
void timeAndCheck(std::span<Eclipse> eclipses, const TimingSettings& settings, unsigned jobs,
                  std::atomic<std::size_t>* finished = nullptr);

}  // namespace kvw::timing
