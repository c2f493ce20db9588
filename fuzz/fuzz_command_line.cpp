// The command line of kvw-minima and the planning of the eclipses its
// ephemeris predicts. The bytes are the words (split at line ends or NUL
// bytes); the words given as files that read as numbers are the times of the
// observations the ephemeris is planned on. Any failure but a message is a
// fault, and so are windows that break their promises.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "minima/options.h"
#include "timing/eclipse_extent.h"
#include "timing/ephemeris.h"

namespace {

std::vector<std::string> wordsOf(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words = {"kvw-minima"};
    std::string word;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\n' || c == '\0') {
            words.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    words.push_back(word);
    return words;
}

std::vector<double> timesIn(const std::vector<std::string>& files) {
    std::vector<double> times;
    for (const std::string& file : files) {
        char* end = nullptr;
        const double time = std::strtod(file.c_str(), &end);
        if (end != file.c_str() && *end == '\0' && std::isfinite(time)) {
            times.push_back(time);
        }
    }
    std::sort(times.begin(), times.end());
    return times;
}

void checkPlan(const std::vector<double>& times, const kvw::timing::Ephemeris& ephemeris) {
    // Magnitudes of a flat light curve: the windows come from the user's half-width or the limit.
    const std::vector<double> magnitudes(times.size(), 10.0);
    const kvw::timing::WindowPlan plan = kvw::timing::planWindows(times, magnitudes, ephemeris, std::nullopt);
    const kvw::timing::WindowSizes& sizes = plan.sizes;
    const double narrowest = std::min(sizes.primaryHalfWidth, sizes.secondaryHalfWidth);
    const bool refused = kvw::timing::ephemerisProblem(times, ephemeris, narrowest).has_value();
    const std::vector<kvw::timing::EclipseWindow> windows =
        kvw::timing::predictEclipses(times, ephemeris, sizes).windows;
    if (refused && !windows.empty()) {
        __builtin_trap();
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const kvw::timing::EclipseWindow& w = windows[i];
        // Every window listed holds an observation, and its context holds the window.
        if (!std::isfinite(w.cycle) || !(w.first < w.last) || w.last > times.size() || w.contextFirst > w.first ||
            w.contextLast < w.last || w.contextLast > times.size() ||
            (i > 0 && !(windows[i - 1].predicted < w.predicted))) {
            __builtin_trap();
        }
        (void)kvw::timing::coverageProblem(times, w);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> words = wordsOf(data, size);
    std::vector<const char*> argv;
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    const kvw::minima::CommandLine line = kvw::minima::parseCommandLine(static_cast<int>(argv.size()), argv.data());
    if (!line.options) {
        if (line.text.empty()) {
            __builtin_trap();  // every end without options says why, or prints help or version
        }
        return 0;
    }
    const kvw::minima::Options& options = *line.options;
    if (options.files.empty() || options.jobs < 1 || (options.minimumPoints && *options.minimumPoints < 1)) {
        __builtin_trap();
    }
    if (options.ephemeris) {
        const kvw::timing::Ephemeris& ephemeris = *options.ephemeris;
        const double phase = ephemeris.secondaryPhase.value_or(0.5);
        if (!std::isfinite(ephemeris.epoch) || (ephemeris.halfWidth && !(*ephemeris.halfWidth > 0)) ||
            !(phase > 0 && phase < 1) ||
            (ephemeris.period && !(*ephemeris.period > 0 && std::isfinite(*ephemeris.period)))) {
            __builtin_trap();
        }
        const std::vector<double> times = timesIn(options.files);
        if (!times.empty()) {
            checkPlan(times, ephemeris);
        }
    }
    return 0;
}
