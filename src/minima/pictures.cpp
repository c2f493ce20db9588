#include "minima/pictures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <span>
#include <utility>

#include "analysis/minimum.h"
#include "base/precondition.h"
#include "base/units.h"
#include "minima/modules.h"
#include "minima/output.h"

namespace kvw::minima {

namespace {

// Long enough for a file's name and a folder or two, short enough for every
// file system (255 bytes) with the cycle, type and extension.
constexpr std::size_t kLongestLabel = 160;

bool safeCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
           c == '-';
}

// Letters, digits, '.', '_' and '-', other runs of bytes as one '_'; never
// starting with '.' (hidden) or '-' (taken for an option by a shell command).
std::string safeName(const std::string& text) {
    std::string name;
    for (const char c : text) {
        if (safeCharacter(c)) {
            name += c;
        } else if (!name.empty() && name.back() != '_') {
            name += '_';
        }
    }
    const std::size_t start = std::min(name.find_first_not_of(".-_"), name.size());
    name = name.substr(start, kLongestLabel);
    while (!name.empty() && name.back() == '_') {
        name.pop_back();
    }
    return name;
}

// The parts a file's label is made of, nearest last: the safe names of its
// folders from the root down, then of its name without the extension.
std::vector<std::string> labelParts(const std::string& file) {
    std::error_code ignored;
    std::filesystem::path path = std::filesystem::absolute(file, ignored).lexically_normal();
    if (path.empty()) {
        path = std::filesystem::path(file).lexically_normal();
    }
    std::vector<std::string> parts;
    for (const std::filesystem::path& part : path.parent_path().relative_path()) {
        const std::string name = safeName(part.string());
        if (!name.empty()) {
            parts.push_back(name);
        }
    }
    const std::string stem = safeName(path.stem().string());
    parts.push_back(stem.empty() ? "curve" : stem);
    return parts;
}

// The nearest `depth` parts, cut from the front to stay a file name that every
// file system takes with the cycle and extension added.
std::string labelOf(const std::vector<std::string>& parts, std::size_t depth) {
    std::string label;
    for (std::size_t k = parts.size() - depth; k < parts.size(); ++k) {
        label += (label.empty() ? "" : "_") + parts[k];
    }
    return label.size() <= kLongestLabel ? label : safeName(label.substr(label.size() - kLongestLabel));
}

// The light curve an eclipse lies in, by identity: the eclipses of one input
// file share it, and a file given twice is read twice.
using CurveIdentity = const double*;
CurveIdentity curveOf(const timing::Eclipse& eclipse) {
    return eclipse.curve.times.data();
}

// The input files of the eclipses, in order, each once: its light curve and its name.
std::vector<std::pair<CurveIdentity, std::string>> inputFiles(std::span<const timing::Eclipse> eclipses) {
    std::vector<std::pair<CurveIdentity, std::string>> files;
    for (const timing::Eclipse& eclipse : eclipses) {
        const auto same = [&](const auto& file) { return file.first == curveOf(eclipse); };
        if (std::none_of(files.begin(), files.end(), same)) {
            files.emplace_back(curveOf(eclipse), eclipse.curve.source);
        }
    }
    return files;
}

// One label per input file: its name, with as many of its folders' names in
// front as it takes to tell it from the other files of that name.
std::map<CurveIdentity, std::string> fileLabels(std::span<const timing::Eclipse> eclipses) {
    const std::vector<std::pair<CurveIdentity, std::string>> files = inputFiles(eclipses);
    std::vector<std::vector<std::string>> parts;
    for (const auto& file : files) {
        parts.push_back(labelParts(file.second));
    }
    std::vector<std::size_t> depth(files.size(), 1);
    for (bool deeper = true; deeper;) {
        deeper = false;
        std::map<std::string, std::vector<std::size_t>> byLabel;
        for (std::size_t i = 0; i < files.size(); ++i) {
            byLabel[labelOf(parts[i], depth[i])].push_back(i);
        }
        // A file given twice has the same parts each time: no folder tells
        // those apart (they are numbered instead).
        for (const auto& group : byLabel) {
            const std::vector<std::size_t>& members = group.second;
            const bool apart = std::any_of(members.begin(), members.end(),
                                           [&](std::size_t i) { return parts[i] != parts[members.front()]; });
            for (const std::size_t i : members) {
                if (apart && depth[i] < parts[i].size()) {
                    ++depth[i];
                    deeper = true;
                }
            }
        }
    }
    // Files of one folder whose names differ in the extension alone keep it
    // ("V456.csv", "V456.fits").
    std::map<std::string, std::vector<std::size_t>> byLabel;
    for (std::size_t i = 0; i < files.size(); ++i) {
        byLabel[labelOf(parts[i], depth[i])].push_back(i);
    }
    std::map<CurveIdentity, std::string> labels;
    for (const auto& group : byLabel) {
        const std::vector<std::size_t>& members = group.second;
        for (const std::size_t i : members) {
            const std::filesystem::path name = std::filesystem::path(files[i].second).filename();
            const std::string whole = safeName(name.string());
            const bool differ = std::any_of(members.begin(), members.end(), [&](std::size_t j) {
                return std::filesystem::path(files[j].second).filename() != name;
            });
            if (differ && !whole.empty()) {
                parts[i].back() = whole;
            }
            labels[files[i].first] = labelOf(parts[i], depth[i]);
        }
    }
    return labels;
}

std::string cycleText(double cycle) {
    char text[32];
    std::snprintf(text, sizeof text, cycle == std::floor(cycle) ? "%.0f" : "%.6g", cycle);
    return text;
}

std::string eclipseText(const timing::EclipseWindow& predicted) {
    return "E = " + cycleText(predicted.cycle) + " " + typeName(predicted.type);
}

// A time with as many decimals as its error needs for two significant
// digits (4 to 8).
std::string timeWithError(double time, double error) {
    int decimals = 6;
    if (std::isfinite(error) && error > 0) {
        decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(error))), 4, 8);
    }
    char text[96];
    if (std::isfinite(error)) {
        std::snprintf(text, sizeof text, "%.*f ± %.*f d", decimals, time, decimals, error);
    } else {
        std::snprintf(text, sizeof text, "%.*f d", decimals, time);
    }
    return text;
}

double errorOf(const timing::TimedEclipse& eclipse) {
    return eclipse.error.value_or(eclipse.errorClassic.value_or(plot::kNoValue));
}

std::string resultOf(const timing::TimedEclipse& eclipse) {
    const std::string status = timing::statusName(eclipse.status);
    if (!eclipse.time) {
        return status + ": " + eclipse.reason;
    }
    std::string result = timeWithError(*eclipse.time, errorOf(eclipse));
    if (eclipse.oMinusC) {
        char text[48];
        std::snprintf(text, sizeof text, "   O − C %+.2f min", *eclipse.oMinusC * kMinutesPerDay);
        result += text;
    }
    result += "   " + status;
    if (!eclipse.reason.empty()) {
        result += ":\n" + eclipse.reason;  // a line of its own in the picture
    }
    return result;
}

// The file as given, its start cut when it would not fit on the title line.
std::string shownFile(const std::string& file) {
    constexpr std::size_t kWidest = 60;
    if (file.size() <= kWidest) {
        return file;
    }
    std::size_t start = file.size() - kWidest;
    while (start < file.size() && (static_cast<unsigned char>(file[start]) & 0xC0) == 0x80) {
        ++start;  // not inside a character
    }
    return "…" + file.substr(start);
}

// The method's work drawn in a picture: the grid, the searched trials K..3K
// of the 4K - 1 with their sums, and the parabola of a proper minimum through
// the smallest sum and its neighbours.
void addMethodWork(plot::EclipsePicture& picture, const analysis::EclipseTiming& method) {
    const analysis::ResampledCurve& curve = method.curve;
    const analysis::SymmetryScan& scan = method.scan;
    const double offset = curve.dayOffset;
    const analysis::TrialRange searched = analysis::searchedTrials(curve.halfCount);
    require(scan.trialCount == 4 * curve.halfCount - 1 &&
                scan.trialTimes.size() == static_cast<std::size_t>(scan.trialCount) &&
                scan.sums.size() == scan.trialTimes.size() && curve.gridMagnitudes.size() == curve.gridTimes.size(),
            "the 4K - 1 trials and the grid of a timing");
    picture.gridTimes = analysis::absoluteTimes(curve.gridTimes, curve.dayOffset);
    picture.gridMagnitudes.assign(curve.gridMagnitudes.begin(), curve.gridMagnitudes.end());
    const auto from = static_cast<std::size_t>(searched.first - 1);
    const auto count = static_cast<std::size_t>(searched.last - searched.first + 1);
    picture.trialTimes = analysis::absoluteTimes(scan.trialTimes.subspan(from, count), curve.dayOffset);
    const std::span<const double> searchedSums = scan.sums.subspan(from, count);
    picture.sums.assign(searchedSums.begin(), searchedSums.end());
    if (method.fit.improper) {
        return;
    }
    const auto smallest = static_cast<std::size_t>(method.fit.smallestTrial);  // inside K..3K: its neighbours too
    picture.hasFit = true;
    picture.fitOrigin = offset;
    picture.a = method.fit.a;
    picture.b = method.fit.b;
    picture.c = method.fit.c;
    for (std::size_t r = 0; r < 3; ++r) {
        picture.fitTimes[r] = scan.trialTimes[smallest - 2 + r] + offset;
        picture.fitSums[r] = scan.sums[smallest - 2 + r];
    }
}

}  // namespace

std::vector<std::string> pictureNames(std::span<const timing::Eclipse> rows) {
    const std::map<CurveIdentity, std::string> labels = fileLabels(rows);
    std::set<std::string> taken{"o-c"};
    std::vector<std::string> names;
    for (const timing::Eclipse& row : rows) {
        std::string name = labels.at(curveOf(row));
        if (row.predicted) {
            name += "_E" + safeName(cycleText(row.predicted->cycle)) + "_" + typeName(row.predicted->type);
        }
        // The same file given twice, or labels that meet by chance.
        std::string unique = name;
        for (int copy = 2; taken.count(unique) != 0; ++copy) {
            unique = name + "_" + std::to_string(copy);
        }
        taken.insert(unique);
        names.push_back(unique);
    }
    return names;
}

plot::EclipsePicture eclipsePicture(const timing::Eclipse& row) {
    const timing::TimedEclipse& eclipse = row.timed;
    plot::EclipsePicture picture;
    picture.title = shownFile(std::string(row.curve.source));
    if (row.predicted) {
        picture.title += "   " + eclipseText(*row.predicted);
        picture.predictedTime = row.predicted->predicted;
    }
    picture.result = resultOf(eclipse);
    const bool scaleKnown = !row.curve.timeScale.empty() && row.curve.timeScale != "unknown";
    picture.timeScale = scaleKnown ? std::string(row.curve.timeScale) : std::string("time");
    const std::span<const double> times = row.times();
    const std::span<const double> magnitudes = row.magnitudes();
    picture.times.assign(times.begin(), times.end());
    picture.magnitudes.assign(magnitudes.begin(), magnitudes.end());
    if (eclipse.time) {
        picture.minimumTime = *eclipse.time;
        picture.error = errorOf(eclipse);
    }
    if (eclipse.method) {
        addMethodWork(picture, *eclipse.method);
    }
    return picture;
}

OcDiagram ocDiagram(std::span<const timing::Eclipse> rows, const timing::Ephemeris& ephemeris) {
    OcDiagram diagram;
    std::map<timing::Status, std::size_t> leftOut;
    for (const timing::Eclipse& row : rows) {
        const timing::TimedEclipse& eclipse = row.timed;
        if (eclipse.status != timing::Status::ok || !eclipse.oMinusC || !row.predicted) {
            ++leftOut[eclipse.status];
            continue;
        }
        diagram.points.push_back({row.predicted->cycle, *eclipse.oMinusC, errorOf(eclipse),
                                  row.predicted->type == timing::EclipseType::secondary});
    }
    const std::vector<std::pair<CurveIdentity, std::string>> files = inputFiles(rows);
    diagram.title = files.size() == 1 ? shownFile(files.front().second) : std::to_string(files.size()) + " files";
    diagram.title += "   O − C against " + shortestText(ephemeris.epoch);
    if (ephemeris.period) {
        diagram.title += " + " + shortestText(*ephemeris.period) + " E";
    }
    diagram.caption = std::to_string(diagram.points.size()) + (diagram.points.size() == 1 ? " eclipse" : " eclipses") +
                      " shown";
    std::string counts;
    for (const auto& [status, count] : leftOut) {
        counts += (counts.empty() ? "" : ", ") + std::to_string(count) + " " + timing::statusName(status);
    }
    if (!counts.empty()) {
        diagram.caption += "; left out: " + counts;
    }
    return diagram;
}

void drawPictures(const PictureSettings& settings, std::span<const timing::Eclipse> rows,
                  std::atomic<std::size_t>& drawn) {
    const std::filesystem::path directory = settings.directory;
    std::error_code failure;
    std::filesystem::create_directories(directory, failure);
    if (failure || !std::filesystem::is_directory(directory)) {
        throw PictureError("cannot write the pictures into " + settings.directory + ": " +
                           (failure ? failure.message() : std::string("not a folder")));
    }
    auto draw = [&](auto drawInto, const std::string& name) {
        const std::string path = (directory / (name + "." + settings.extension)).string();
        try {
            drawInto(path);
        } catch (const plot::PlotError& error) {
            const std::string what = error.what();
            throw PictureError(what.find(path) != std::string::npos ? what : "cannot draw " + path + ": " + what);
        }
        drawn.fetch_add(1, std::memory_order_relaxed);
    };
    const plot::DrawingModule& drawing = drawingModule();
    const std::vector<std::string> names = pictureNames(rows);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const plot::EclipsePicture picture = eclipsePicture(rows[i]);
        draw([&](const std::string& path) { drawing.drawEclipse(picture, path); }, names[i]);
    }
    if (settings.ephemeris) {
        const OcDiagram diagram = ocDiagram(rows, *settings.ephemeris);
        draw([&](const std::string& path) {
            drawing.drawOcDiagram(diagram.points, diagram.title, diagram.caption, path);
        }, "o-c");
    }
}

}  // namespace kvw::minima
