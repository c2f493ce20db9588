// A one-line progress display on the error stream for long runs: "done/total
// what, elapsed", redrawn in place by a thread of its own and erased when the
// work is finished. Shown only on a terminal.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

namespace kvw::minima {

using Clock = std::chrono::steady_clock;

struct ProgressSettings {
    std::ostream* out = nullptr;       // nullptr: no display
    Clock::time_point start;           // the run's start: elapsed time counts from here
    std::chrono::milliseconds delay{500};   // shown only once the run has taken this long...
    std::chrono::milliseconds period{100};  // ...and redrawn this often
};

// The settings for the error stream: a display when it is a terminal.
ProgressSettings errorStreamProgress(Clock::time_point start);

// Shows `done` of `total` (e.g. "eclipses timed") while the object lives, when
// total is more than one. The counter is only read, never waited on: the
// workers that count it are not slowed.
class ProgressLine {
public:
    ProgressLine(const ProgressSettings& settings, const std::atomic<std::size_t>& done, std::size_t total,
                 std::string what);
    ~ProgressLine();  // erases the line, leaving the cursor where the line began
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

private:
    struct Display;
    std::unique_ptr<Display> display_;  // null when nothing is shown
};

}  // namespace kvw::minima
