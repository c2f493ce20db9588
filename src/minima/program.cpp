#include "minima/program.h"

#include <atomic>
#include <filesystem>
#include <iostream>
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
#include "readers/light_curve.h"
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

// The light curves that could be read, each with its eclipses.
struct FileWork {
    std::string name;
    readers::LightCurve curve;
    std::vector<timing::EclipseWindow> windows;  // empty without an ephemeris
};

std::vector<timing::EclipseTask> tasksOf(const std::vector<std::unique_ptr<FileWork>>& files,
                                         const Options& options) {
    std::vector<timing::EclipseTask> tasks;
    for (const auto& file : files) {
        const timing::Observations observations{file->curve.times, file->curve.magnitudes, file->curve.errors};
        if (!options.ephemeris) {
            tasks.push_back({observations, 0, file->curve.times.size(), std::nullopt});
            continue;
        }
        for (const timing::EclipseWindow& window : file->windows) {
            tasks.push_back({observations, window.first, window.last, window});
        }
    }
    return tasks;
}

std::string eclipseName(const Row& row) {
    std::string name = *row.file;
    if (row.predicted) {
        name += ": cycle " + shortestText(row.predicted->cycle) + " " + typeName(row.predicted->type);
    }
    return name;
}

// The pictures come after the table: a folder that cannot be written fails
// the run, not the table.
int drawPicturesOf(const Options& options, std::span<const Row> rows, std::span<const timing::EclipseTask> tasks,
                   Clock::time_point start) {
    std::atomic<std::size_t> drawn{0};
    const std::size_t total = rows.size() + (options.ephemeris ? 1 : 0);
    try {
        const ProgressLine progress(errorStreamProgress(start), drawn, total, "pictures drawn");
        const PictureSettings settings{options.plotDirectory, options.plotFormat,
                                       options.ephemeris ? &*options.ephemeris : nullptr};
        drawPictures(settings, rows, tasks, drawn);
    } catch (const PictureError& error) {
        say(error.what());
        return kInputOutput;
    }
    return kNormal;
}

std::string tableText(const Options& options, std::span<const Row> rows) {
    std::ostringstream out;
    if (options.format == OutputFormat::json) {
        writeJson(out, rows);
    } else {
        writeCsv(out, rows);
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
    int status = kNormal;
    std::vector<std::unique_ptr<FileWork>> files;
    for (const std::string& name : options.files) {
        auto work = std::make_unique<FileWork>();
        work->name = name;
        try {
            work->curve = readers::readLightCurve(name, options.columns, readFitsFromModule);
        } catch (const readers::ReadError& error) {
            say(error.what());
            status = kInputOutput;
            continue;
        }
        for (const std::string& note : work->curve.notes) {
            say(name + ": " + note);
        }
        if (const auto problem =
                options.ephemeris ? timing::ephemerisProblem(work->curve.times, *options.ephemeris) : std::nullopt) {
            say(name + ": " + *problem);
            status = kInputOutput;
            continue;
        }
        if (options.ephemeris) {
            work->windows = timing::predictEclipses(work->curve.times, *options.ephemeris);
            if (work->windows.empty()) {
                say(name + ": no eclipse of the ephemeris falls within the observations");
            }
        }
        files.push_back(std::move(work));
    }

    timing::TimingSettings settings;
    settings.ephemeris = options.ephemeris;
    settings.minimumPoints = options.minimumPoints;
    settings.noise = options.noise;
    settings.keepMethod = options.format == OutputFormat::json || !options.plotDirectory.empty();
    const std::vector<timing::EclipseTask> tasks = tasksOf(files, options);
    const std::vector<timing::TimedEclipse> timed = [&] {
        std::atomic<std::size_t> finished{0};
        const ProgressLine progress(errorStreamProgress(start), finished, tasks.size(), "eclipses timed");
        return timing::timeEclipses(tasks, settings, options.jobs, &finished);
    }();

    std::vector<Row> rows;
    std::size_t next = 0;
    for (const auto& file : files) {
        if (!options.ephemeris) {
            rows.push_back({&file->name, nullptr, &timed[next++]});
            continue;
        }
        for (const timing::EclipseWindow& window : file->windows) {
            rows.push_back({&file->name, &window, &timed[next++]});
        }
    }
    for (const Row& row : rows) {
        if (row.eclipse->status != timing::Status::ok) {
            say(eclipseName(row) + ": " + timing::statusName(row.eclipse->status) + ": " + row.eclipse->reason);
        }
    }

    if (files.empty()) {
        say("no file could be timed: no table written");
        return kInputOutput;
    }
    if (const auto failure = writeTable(options.output, tableText(options, rows))) {
        say(*failure);
        return kInputOutput;
    }
    if (!options.plotDirectory.empty() && drawPicturesOf(options, rows, tasks, start) != kNormal) {
        return kInputOutput;
    }
    return status;
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
