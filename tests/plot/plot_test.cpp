// The plot library: every kind of picture is written and well-formed in each
// format, failures are PlotErrors, and nothing reaches standard output.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "plot/detail/drawing.h"
#include "plot/plot.h"
#include "plot/synthetic_rows.h"
#include "support/picture_file.h"
#include "support/whole_run.h"

namespace {

using kvw::plot::EclipsePicture;
using kvw::plot::OcPoint;
using kvw::plot::PlotError;
using kvw::testing::PictureFile;
using kvw::testing::readPictureFile;
using kvw::testing::TempDir;

// Checks the file against its format; for SVG also that the title and
// result are carried as text.
void expectWellFormed(const TempDir& dir, const std::string& name, const std::string& title,
                      const std::string& description) {
    const PictureFile picture = readPictureFile(dir / name);
    EXPECT_TRUE(picture.wellFormed) << name << ": " << picture.problem;
    if (name.ends_with(".svg")) {
        EXPECT_EQ(picture.title, title) << name;
        EXPECT_EQ(picture.description, description) << name;
    }
}

const EclipsePicture& syntheticRow(const std::string& name) {
    static const auto cases = kvw::plot::synthetic::syntheticEclipses();
    for (const auto& named : cases) {
        if (named.name == name) {
            return named.picture;
        }
    }
    throw std::logic_error("no synthetic row " + name);
}

TEST(SyntheticRows, CoverATimedAnImproperAndAPartialRow) {
    const EclipsePicture& clean = syntheticRow("eclipse-clean");
    EXPECT_TRUE(clean.hasFit);
    EXPECT_NEAR(clean.minimumTime, 2459000.42731, 3 * clean.error);  // the synthetic curve's true minimum
    EXPECT_FALSE(clean.sums.empty());
    const EclipsePicture& improper = syntheticRow("eclipse-improper");
    EXPECT_FALSE(improper.hasFit);
    EXPECT_TRUE(std::isnan(improper.minimumTime));
    EXPECT_FALSE(improper.sums.empty());
    const EclipsePicture& partial = syntheticRow("eclipse-partial");
    EXPECT_TRUE(partial.sums.empty());
    EXPECT_TRUE(partial.gridTimes.empty());
}

TEST(DrawEclipse, EveryRowKindInEveryFormat) {
    const TempDir dir;
    for (const char* name : {"eclipse-clean", "eclipse-sparse", "eclipse-improper", "eclipse-partial"}) {
        for (const char* extension : {".svg", ".pdf", ".png"}) {
            const EclipsePicture& picture = syntheticRow(name);
            const std::string file = std::string(name) + extension;
            kvw::plot::drawEclipse(picture, (dir / file).string());
            expectWellFormed(dir, file, picture.title, picture.result);
        }
    }
}

TEST(DrawEclipse, AwkwardTextAndValuesStillGiveAWellFormedPicture) {
    const TempDir dir;
    EclipsePicture picture = syntheticRow("eclipse-sparse");
    picture.title = "AB_Cas #3 <R> & \"V\"\x01 \xff\xfe";  // markup, PLplot's escape, a control, bad UTF-8
    picture.result = "2459123.550392 ± 0.000610 d   ok";
    picture.magnitudes[3] = std::nan("");
    picture.predictedTime = picture.minimumTime + 40;  // far off the axis
    picture.error = 5;                                 // wider than the axis
    kvw::plot::drawEclipse(picture, (dir / "awkward.svg").string());
    expectWellFormed(dir, "awkward.svg", "AB_Cas #3 <R> & \"V\"  \xEF\xBF\xBD\xEF\xBF\xBD", picture.result);

    // A parabola that opens downwards, and a flat one whose vertex lies at no
    // finite time.
    EclipsePicture downwards = syntheticRow("eclipse-clean");
    downwards.a = -downwards.a;
    EclipsePicture flat = syntheticRow("eclipse-clean");
    flat.a = 0;
    flat.minimumTime = std::numeric_limits<double>::infinity();
    kvw::plot::drawEclipse(downwards, (dir / "downwards.pdf").string());
    kvw::plot::drawEclipse(flat, (dir / "flat.svg").string());
    expectWellFormed(dir, "downwards.pdf", "", "");
    expectWellFormed(dir, "flat.svg", flat.title, flat.result);

    EclipsePicture empty;
    empty.title = "no observations";
    kvw::plot::drawEclipse(empty, (dir / "empty.PNG").string());
    expectWellFormed(dir, "empty.PNG", "", "");
}

// Headings are broken at line feeds and blanks to fit the page; a word longer
// than a line stays whole.
TEST(WrappedText, BreaksAtLineFeedsAndBlanks) {
    struct Case {
        std::string text;
        std::size_t width;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"short", 10, {"short"}},
        {"exactly ten", 11, {"exactly ten"}},
        {"one two three four", 9, {"one two", "three", "four"}},
        {"a   b   c", 4, {"a", "b", "c"}},
        {"unbreakable-word and more", 8, {"unbreakable-word", "and more"}},
        {"± ± ± ± ±", 5, {"± ± ±", "± ±"}},  // characters, not bytes
        {"suspect:\nthe time lies outside", 12, {"suspect:", "the time", "lies outside"}},
        {"", 5, {""}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kvw::plot::detail::wrappedText(c.text, c.width), c.lines) << c.text;
    }
}

TEST(DrawOcDiagram, ManyOneAndNoPointsAndHugeErrorBars) {
    const TempDir dir;
    const std::vector<OcPoint> many = kvw::plot::synthetic::syntheticOcPoints();
    const std::vector<std::vector<OcPoint>> diagrams = {
        many,
        {{12, 0.0004, 0.0002, false}},
        {},
        {{0, 0.001, 3.0, false}, {0.5, -0.002, 0.0003, true}, {1, 0, std::nan(""), false}},
    };
    for (std::size_t i = 0; i < diagrams.size(); ++i) {
        for (const char* extension : {".svg", ".png"}) {
            const std::string file = "o-c-" + std::to_string(i) + extension;
            kvw::plot::drawOcDiagram(diagrams[i], "AB Cas   O − C", "3 partial and 1 suspect rows left out",
                                     (dir / file).string());
            expectWellFormed(dir, file, "AB Cas   O − C", "3 partial and 1 suspect rows left out");
        }
    }
}

TEST(Failures, AreThrownAsPlotErrorsAndLeaveTheLibraryUsable) {
    const TempDir dir;
    std::filesystem::create_directory(dir / "folder.svg");
    const EclipsePicture& picture = syntheticRow("eclipse-partial");
    for (const std::string path : {dir / "picture.jpg", dir / "picture", dir / "svg", dir / "missing" / "picture.svg",
                                   dir / "folder.svg"}) {
        EXPECT_THROW(kvw::plot::drawEclipse(picture, path), PlotError) << path;
        EXPECT_THROW(kvw::plot::drawOcDiagram({}, "", "", path), PlotError) << path;
    }
    EXPECT_FALSE(dir.exists("picture.jpg"));
    kvw::plot::drawEclipse(picture, (dir / "after.svg").string());
    expectWellFormed(dir, "after.svg", picture.title, picture.result);

    EclipsePicture mismatched = picture;
    mismatched.magnitudes.pop_back();
    EXPECT_THROW(kvw::plot::drawEclipse(mismatched, (dir / "mismatched.svg").string()), std::invalid_argument);
}

TEST(StandardOutput, ReceivesNothingFromDrawingOrFailing) {
    const TempDir dir;
    const std::filesystem::path captured = dir / "stdout";
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    const int file = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(file, 0);
    dup2(file, STDOUT_FILENO);
    close(file);
    for (const char* extension : {".svg", ".pdf", ".png"}) {
        kvw::plot::drawEclipse(syntheticRow("eclipse-clean"), (dir / (std::string("clean") + extension)).string());
    }
    kvw::plot::drawOcDiagram(kvw::plot::synthetic::syntheticOcPoints(), "", "", (dir / "o-c.svg").string());
    EXPECT_THROW(kvw::plot::drawOcDiagram({}, "", "", (dir / "missing" / "o-c.svg").string()), PlotError);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    EXPECT_EQ(dir.read("stdout"), "");
}

}  // namespace
