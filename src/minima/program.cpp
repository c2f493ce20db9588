#include "minima/program.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
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

#include "minima/modules.h"
#include "minima/options.h"
#include "minima/output.h"
#include "minima/pictures.h"
#include "minima/progress.h"
#include "minima/table_file.h"
#include "minima/time_scales.h"
#include "readers/light_curve.h"
#include "timing/eclipse_extent.h"
#include "timing/ephemeris.h"
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

std::string daysText(double days) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4f d", days);
    return text;
}

// Says the windows of one eclipse type, and how they were chosen.
void sayWindows(const std::string& name, const char* type, double halfWidth, std::size_t minimumPoints,
                const timing::EclipseExtent& extent, const Options& options) {
    std::string text = name + ": " + type + " eclipses timed within " + daysText(halfWidth) +
                       " of their predicted times";
    if (!options.ephemeris->halfWidth) {
        text += !extent.found  ? " (no eclipse stands out of the folded light curve there)"
                : extent.reach ? " (the folded light regains its level " + daysText(*extent.reach) + " from them)"
                               : " (the folded light does not regain its level within the observations)";
    }
    say(text + ", at least " + std::to_string(minimumPoints) + " observations on each side");
}

// Plans the windows of a light curve's eclipses and says how; the reason
// when the ephemeris cannot be used with it.
std::optional<timing::PredictedEclipses> predictedIn(const std::string& name, const readers::LightCurve& curve,
                                                     const Options& options, std::optional<double>& noise) {
    const timing::Ephemeris& ephemeris = *options.ephemeris;
    // The ephemeris itself first (a mistyped time, a period in another unit), on the widest windows it allows.
    const double widest = ephemeris.halfWidth.value_or(timing::halfWidthLimit(ephemeris, timing::EclipseType::primary));
    for (const auto& problem :
         {timing::ephemerisProblem(curve.times, ephemeris, widest), timing::timeScaleProblem(curve.times, ephemeris)}) {
        if (problem) {
            say(name + ": " + *problem);
            return std::nullopt;
        }
    }
    const timing::WindowPlan plan =
        timing::planWindows(curve.times, curve.magnitudes, ephemeris, options.minimumPoints);
    const timing::WindowSizes& sizes = plan.sizes;
    if (const auto problem = timing::ephemerisProblem(curve.times, ephemeris,
                                                      std::min(sizes.primaryHalfWidth, sizes.secondaryHalfWidth))) {
        say(name + ": " + *problem);
        return std::nullopt;
    }
    if (plan.survey.primary.dips || plan.survey.secondary.dips) {
        say(name + ": the light falls at the predicted eclipses instead of rising: the values look like fluxes; "
                   "name their column with --flux-column");
    }
    if (plan.cut) {
        say(name + ": the half-width reaches past half the way to the next eclipse: cut to it");
    }
    sayWindows(name, "primary", sizes.primaryHalfWidth, sizes.primaryMinimumPoints, plan.survey.primary, options);
    if (ephemeris.secondaryPhase) {
        sayWindows(name, "secondary", sizes.secondaryHalfWidth, sizes.secondaryMinimumPoints, plan.survey.secondary,
                   options);
    }
    noise = plan.survey.noise;
    timing::PredictedEclipses predicted = timing::predictEclipses(curve.times, ephemeris, sizes);
    if (predicted.windows.empty()) {
        say(name + ": no eclipse of the ephemeris falls within the observations");
    } else if (predicted.skipped > 0) {
        say(name + ": " + std::to_string(predicted.skipped) +
            " predicted eclipse(s) without observations in their windows left out");
    }
    return predicted;
}

// Reads a file, puts its times in the rows' scale and lays out its eclipses
// (one per window of the ephemeris, or the whole curve); a file that cannot be
// read or planned is said and skipped. A time scale that does not fit the file
// is a ScaleMismatch: the run ends without a table.
void readInput(const std::string& name, const Options& options, Inputs& inputs) {
    auto curve = std::make_unique<readers::LightCurve>();
    try {
        *curve = readers::readLightCurve(name, options.columns, readFitsFromModule);
    } catch (const readers::ReadError& error) {
        say(error.what());
        inputs.status = kInputOutput;
        return;
    }
    for (const std::string& note : curve->notes) {
        say(name + ": " + note);
    }
    // The offset first: the scale's conversion needs whole dates.
    for (double& time : curve->times) {
        time += options.timeOffset;
    }
    for (const std::string& note : putInRowScale(*curve, options.timeScales, options.jobs)) {
        say(name + ": " + note);
    }
    timing::CurveView view{curve->source, timescale::scaleName(curve->timeScale), curve->times,
                           curve->magnitudes, curve->errors, std::nullopt};
    std::vector<timing::Eclipse> eclipses;
    if (options.ephemeris) {
        const auto predicted = predictedIn(name, *curve, options, view.noise);
        if (!predicted) {
            inputs.status = kInputOutput;
            return;
        }
        eclipses = timing::eclipsesIn(view, predicted->windows);
    } else {
        eclipses.push_back(timing::wholeCurve(view));
    }
    inputs.eclipses.insert(inputs.eclipses.end(), std::make_move_iterator(eclipses.begin()),
                           std::make_move_iterator(eclipses.end()));
    inputs.curves.push_back(std::move(curve));
}

// Times every eclipse on `--jobs` threads, with a progress line on a terminal,
// keeping the method's work where the JSON table or the pictures show it.
void timeEveryEclipse(std::span<timing::Eclipse> eclipses, const Options& options, Clock::time_point start) {
    timing::TimingSettings settings;
    settings.ephemeris = options.ephemeris;
    settings.noise = options.noise;
    settings.keepMethod = options.format == OutputFormat::json || !options.plotDirectory.empty();
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
