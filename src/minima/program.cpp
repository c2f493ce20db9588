#include "minima/program.h"

#include <atomic>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "minima/flow.h"
#include "minima/options.h"
#include "minima/output.h"
#include "minima/pictures.h"
#include "minima/progress.h"
#include "minima/table_file.h"
#include "minima/time_scales.h"
#include "readers/light_curve.h"
#include "timing/time_eclipses.h"

namespace kvw::minima {

namespace {

constexpr int kNormal = 0;
constexpr int kOutOfMemory = 1;
constexpr int kInputOutput = 2;

void say(const std::string& text) {
    std::cerr << "kvw-minima: " << text << '\n';
}

// The light curves that could be read, each kept whole to the end of the run
// (the eclipses view them), and the eclipses laid out in them.
struct Inputs {
    std::vector<std::unique_ptr<readers::LightCurve>> curves;
    std::vector<timing::Eclipse> eclipses;
    int status = kNormal;  // 2 when a file could not be read or planned
};

// Reads a file, puts its times in the rows' scale and lays out its eclipses
// (one per window of the ephemeris, or the whole curve); a file that cannot be
// read or planned is said and skipped. A time scale that does not fit the file
// is a ScaleMismatch: the run ends without a table.
void readInput(const std::string& name, const Options& options, Inputs& inputs) {
    auto curve = std::make_unique<readers::LightCurve>();
    try {
        *curve = readInputFile(name, options);
    } catch (const readers::ReadError& error) {
        say(error.what());
        inputs.status = kInputOutput;
        return;
    }
    for (const std::string& note : curve->notes) {
        say(name + ": " + note);
    }
    LaidOut laidOut = layOutCurve(*curve, options);
    for (const std::string& note : laidOut.notes) {
        say(name + ": " + note);
    }
    if (laidOut.refusal) {
        say(name + ": " + *laidOut.refusal);
        inputs.status = kInputOutput;
        return;
    }
    inputs.eclipses.insert(inputs.eclipses.end(), std::make_move_iterator(laidOut.eclipses.begin()),
                           std::make_move_iterator(laidOut.eclipses.end()));
    inputs.curves.push_back(std::move(curve));
}

// Times every eclipse on `--jobs` threads, with a progress line on a terminal,
// keeping the method's work where the JSON table or the pictures show it.
void timeEveryEclipse(std::span<timing::Eclipse> eclipses, const Options& options, Clock::time_point start) {
    const timing::TimingSettings settings =
        timingSettings(options, options.format == OutputFormat::json || !options.plotDirectory.empty());
    std::atomic<std::size_t> finished{0};
    const ProgressLine progress(errorStreamProgress(start), finished, eclipses.size(), "eclipses timed");
    timing::timeAndCheck(eclipses, settings, options.jobs, &finished);
}

// Says why each eclipse that is not ok is not.
void sayWhyNotOk(std::span<const timing::Eclipse> eclipses) {
    for (const timing::Eclipse& eclipse : eclipses) {
        if (eclipse.timed.status == timing::Status::ok) {
            continue;
        }
        std::string name(eclipse.curve.source);
        if (eclipse.predicted) {
            name += ": cycle " + shortestText(eclipse.predicted->cycle) + " " + typeName(eclipse.predicted->type);
        }
        say(name + ": " + timing::statusName(eclipse.timed.status) + ": " + eclipse.timed.reason);
    }
}

// The pictures come after the table: a folder that cannot be written fails
// the run, not the table.
int drawPicturesOf(const Options& options, std::span<const timing::Eclipse> eclipses, Clock::time_point start) {
    std::atomic<std::size_t> drawn{0};
    const std::size_t total = eclipses.size() + (options.ephemeris ? 1 : 0);
    try {
        const ProgressLine progress(errorStreamProgress(start), drawn, total, "pictures drawn");
        drawPictures({options.plotDirectory, options.plotFormat, options.ephemeris}, eclipses, drawn);
    } catch (const PictureError& error) {
        say(error.what());
        return kInputOutput;
    }
    return kNormal;
}

std::string tableText(const Options& options, std::span<const timing::Eclipse> eclipses) {
    std::ostringstream out;
    if (options.format == OutputFormat::json) {
        writeJson(out, eclipses);
    } else {
        writeCsv(out, eclipses);
    }
    return std::move(out).str();
}

// The table must not replace the observations it was made from.
std::optional<std::string> outputProblem(const Options& options) {
    for (const std::string& name : options.files) {
        std::error_code unknown;
        if (!options.output.empty() && std::filesystem::equivalent(options.output, name, unknown)) {
            return "the table (-o " + options.output + ") would replace the input file " + name;
        }
    }
    return std::nullopt;
}

int run(const Options& options) {
    const Clock::time_point start = Clock::now();
    if (const auto problem = outputProblem(options)) {
        say(*problem);
        return kInputOutput;
    }
    Inputs inputs;
    try {
        for (const std::string& name : options.files) {
            readInput(name, options, inputs);
        }
    } catch (const ScaleMismatch& mismatch) {
        say(mismatch.what());
        say("no table written");
        return kInputOutput;
    }
    timeEveryEclipse(inputs.eclipses, options, start);
    sayWhyNotOk(inputs.eclipses);
    if (inputs.curves.empty()) {
        say("no file could be timed: no table written");
        return kInputOutput;
    }
    if (const auto failure = writeTable(options.output, tableText(options, inputs.eclipses))) {
        say(*failure);
        return kInputOutput;
    }
    if (!options.plotDirectory.empty() && drawPicturesOf(options, inputs.eclipses, start) != kNormal) {
        return kInputOutput;
    }
    return inputs.status;
}

}  // namespace

int runMinima(int argc, const char* const* argv) {
    try {
        const CommandLine line = parseCommandLine(argc, argv);
        if (!line.options) {
            (line.toErrorStream ? std::cerr : std::cout) << line.text;
            return line.status;
        }
        return run(*line.options);
    } catch (const std::bad_alloc&) {
        say("out of memory");
        return kOutOfMemory;
    } catch (const std::exception& failure) {
        say(std::string("an unexpected failure: ") + failure.what());
        return kInputOutput;
    } catch (...) {
        say("an unexpected failure");
        return kInputOutput;
    }
}

}  // namespace kvw::minima
