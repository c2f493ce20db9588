// Whole runs of kvw-minima --plot: a well-formed picture for every row, ok,
// improper and partial alike, in each format, with the O−C diagram; names
// that tell files apart; a folder that cannot be written; and the progress
// line, which only a terminal gets.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "support/picture_file.h"
#include "support/whole_run.h"

namespace kvw::testing {
namespace {

RunResult minima(const TempDir& dir, const std::vector<std::string>& arguments, const RunOptions& options = {}) {
    return runBinary(KVW_MINIMA_BINARY, arguments, dir.path(), options);
}

// "time magnitude" lines of Gaussian eclipses 0.6 mag deep at the given
// centres, on an even cadence with a little noise; times in `gap` are left out.
std::string eclipses(double begin, double length, int points, const std::vector<double>& centres,
                     std::pair<double, double> gap = {0, 0}) {
    std::mt19937_64 random(12);
    std::normal_distribution<double> noise(0.0, 0.003);
    std::string text;
    for (int k = 0; k < points; ++k) {
        const double t = begin + length * k / points;
        if (t > gap.first && t < gap.second) {
            continue;
        }
        double m = 10.5 + noise(random);
        for (const double centre : centres) {
            m += 0.6 * std::exp(-0.5 * std::pow((t - centre) / 0.015, 2));
        }
        char line[64];
        std::snprintf(line, sizeof line, "%.6f %.5f\n", t, m);
        text += line;
    }
    return text;
}

std::set<std::string> filesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Four primaries of an ephemeris: on time (ok), late by the half-width, so
// that the window ends at the minimum (improper), cut by a gap (partial), on
// time (ok).
// Every row is drawn, titled with the file and eclipse, the reason of a row
// that is not ok in its text; the O−C diagram counts what it leaves out.
TEST(MinimaPlot, EveryRowKindInEveryFormat) {
    const double epoch = 2459000.4;
    const double period = 0.8;
    TempDir dir;
    dir.write("V456 Cyg.txt", eclipses(epoch - 0.2, 3.3, 3300,
                                       {epoch, epoch + period + 0.1, epoch + 2 * period, epoch + 3 * period},
                                       {epoch + 2 * period - 0.001, epoch + 2 * period + 0.03}));
    const std::vector<std::string> ephemeris = {"--epoch", "2459000.4", "--period", "0.8", "--half-width", "0.1"};
    struct Row {
        std::string file, status, text;  // text: the start of the picture's result
    };
    const std::vector<Row> rows = {
        {"V456_Cyg_E0_primary", "ok", "2459000.3999"},
        {"V456_Cyg_E1_primary", "improper", "improper: the smallest asymmetry lies on an end of the searched trials"},
        {"V456_Cyg_E2_primary", "partial", "partial: a gap of "},
        {"V456_Cyg_E3_primary", "ok", "2459002.8000"},
    };
    for (const char* format : {"svg", "png", "pdf"}) {
        SCOPED_TRACE(format);
        const std::string folder = std::string("pictures/") + format;  // made with its parent
        std::vector<std::string> arguments = ephemeris;
        arguments.insert(arguments.end(), {"--plot", folder, "--plot-format", format, "V456 Cyg.txt"});
        const RunResult run = minima(dir, arguments);
        ASSERT_EQ(run.status, 0) << run.errors;
        std::set<std::string> expected = {std::string("o-c.") + format};
        for (const Row& row : rows) {
            EXPECT_NE(run.output.find("," + row.status + ","), std::string::npos) << run.output;
            expected.insert(row.file + "." + format);
        }
        ASSERT_EQ(filesIn(dir / folder), expected);
        for (const std::string& name : expected) {
            const PictureFile picture = readPictureFile(dir / folder / name);
            EXPECT_TRUE(picture.wellFormed) << name << ": " << picture.problem;
        }
    }
    // The SVG files carry their title and result as text (a line feed as a blank).
    for (std::size_t e = 0; e < rows.size(); ++e) {
        const PictureFile picture = readPictureFile(dir / "pictures/svg" / (rows[e].file + ".svg"));
        EXPECT_EQ(picture.title, "V456 Cyg.txt   E = " + std::to_string(e) + " primary");
        EXPECT_EQ(picture.description.rfind(rows[e].text, 0), 0u) << picture.description;
        if (rows[e].status == "ok") {
            EXPECT_NE(picture.description.find(" ± "), std::string::npos) << picture.description;
            EXPECT_TRUE(picture.description.ends_with("   ok")) << picture.description;
        }
    }
    const PictureFile diagram = readPictureFile(dir / "pictures/svg/o-c.svg");
    EXPECT_EQ(diagram.title, "V456 Cyg.txt   O − C against 2459000.4 + 0.8 E");
    EXPECT_EQ(diagram.description, "2 eclipses shown; left out: 1 improper, 1 partial");
}

// Files of the same name in different folders get their folder's name in
// front, files that differ in the extension alone keep it, the same file
// given twice gets a number; a picture's name has no blank and does not
// start with a dot.
TEST(MinimaPlot, NamesTellTheFilesApart) {
    TempDir dir;
    const std::string curve = eclipses(2459000.3, 0.25, 300, {2459000.43});
    std::filesystem::create_directories(dir / "north site");
    std::filesystem::create_directories(dir / "south");
    dir.write("north site/AB And.dat", curve);
    dir.write("south/AB And.dat", curve);
    dir.write("south/AB And.txt", curve);
    dir.write(".hidden", curve);
    const RunResult run = minima(dir, {"--plot", "pictures", "north site/AB And.dat", "south/AB And.dat",
                                       "north site/AB And.dat", "south/AB And.txt", ".hidden"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(filesIn(dir / "pictures"),
              (std::set<std::string>{"north_site_AB_And.svg", "south_AB_And.dat.svg", "north_site_AB_And_2.svg",
                                     "south_AB_And.txt.svg", "hidden.svg"}));
}

// A folder that cannot be made ends the run with status 2 and says why; the
// table is still written.
TEST(MinimaPlot, AFolderThatCannotBeWrittenFailsTheRunNotTheTable) {
    TempDir dir;
    dir.write("curve.dat", eclipses(2459000.3, 0.25, 300, {2459000.43}));
    dir.write("taken", "a file, not a folder");
    for (const std::string folder : {"taken", "taken/pictures"}) {
        const RunResult run = minima(dir, {"--plot", folder, "curve.dat"});
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.errors.find("kvw-minima: cannot write the pictures into " + folder + ": "), std::string::npos)
            << run.errors;
        EXPECT_NE(run.output.find("curve.dat,,,,,300,"), std::string::npos) << run.output;
    }
}

// What a terminal shows at the end: the bytes with each carriage return
// going back to the start of the line.
std::string lastLineShown(const std::string& bytes) {
    std::string line;
    std::size_t column = 0;
    for (const char c : bytes) {
        if (c == '\r') {
            column = 0;
        } else if (c == '\n') {
            line.clear();
            column = 0;
        } else {
            line.resize(std::max(line.size(), column + 1), ' ');
            line[column++] = c;
        }
    }
    return line;
}

// A run of some seconds: on a terminal the progress line counts the eclipses
// and is erased at the end; into a pipe nothing of it is written.
TEST(MinimaPlot, ProgressOnlyOnATerminalAndErasedAfterwards) {
    TempDir dir;
    std::vector<std::string> arguments = {"--jobs", "1", "-o", "table.csv"};
    for (const char* name : {"a.dat", "b.dat", "c.dat", "d.dat"}) {
        dir.write(name, eclipses(2459000.3, 0.25, 8000, {2459000.43}));
        arguments.emplace_back(name);
    }
    RunOptions terminal;
    terminal.errorsOnTerminal = true;
    const auto start = std::chrono::steady_clock::now();
    const RunResult shown = minima(dir, arguments, terminal);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(shown.status, 0) << shown.errors;
    const RunResult piped = minima(dir, arguments);
    ASSERT_EQ(piped.status, 0) << piped.errors;
    EXPECT_EQ(piped.errors, "");
    if (seconds < 0.8) {
        GTEST_SKIP() << "the run took " << seconds << " s: too short for the progress line to be sure to show";
    }
    EXPECT_EQ(shown.errors.rfind("\rkvw-minima: ", 0), 0u) << shown.errors;
    EXPECT_NE(shown.errors.find("/4 eclipses timed, "), std::string::npos) << shown.errors;
    EXPECT_EQ(shown.errors.find('\n'), std::string::npos) << shown.errors;
    EXPECT_EQ(lastLineShown(shown.errors).find_first_not_of(' '), std::string::npos) << shown.errors;
}

}  // namespace
}  // namespace kvw::testing
