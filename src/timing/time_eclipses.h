// Timing many eclipses: each window of observations through the method, with
// the checks the console program lacks, on all cores, results in task order.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/eclipse_timing.h"
#include "timing/ephemeris.h"

namespace kvw::timing {

// Observations sorted by time; errors empty or one per time.
struct Observations {
    std::span<const double> times;
    std::span<const double> magnitudes;
    std::span<const double> errors;
};

// One eclipse to time: the observations [first, last) of a light curve, with
// its predicted eclipse when an ephemeris gave one.
struct EclipseTask {
    Observations curve;
    std::size_t first = 0;
    std::size_t last = 0;
    std::optional<EclipseWindow> predicted;
};

enum class Status {
    ok,        // timed, and the time lies in the eclipse
    improper,  // the smallest sum lies on an end of the searched trials: no time
    partial,   // the observations do not cover the eclipse: not timed
    suspect,   // timed, but the time does not lie in the eclipse the observations show
    failed,    // the method cannot time these observations: no numbers
};

const char* statusName(Status status);

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
    std::optional<Ephemeris> ephemeris;
    std::size_t minimumPoints = 5;
    std::optional<double> noise;  // magnitudes per observation, when the user knows it
    bool keepMethod = false;      // fill TimedEclipse::method
};

// Times every task; `jobs` threads at most (at least one). Results are in the
// order of the tasks. `finished`, when given, is counted up as each task is
// done, for a progress display to read. Any other failure in a task makes
// its row failed with the reason. Raises std::bad_alloc when memory runs out.
std::vector<TimedEclipse> timeEclipses(std::span<const EclipseTask> tasks, const TimingSettings& settings,
                                       unsigned jobs, std::atomic<std::size_t>* finished = nullptr);

}  // namespace kvw::timing
