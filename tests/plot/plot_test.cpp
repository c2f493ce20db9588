// The plot library: every kind of picture is written and well-formed in each
// format, failures are PlotErrors, and nothing reaches standard output.
#include <fcntl.h>
#include <unistd.h>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "plot/demo_cases.h"
#include "plot/plot.h"
#include "support/whole_run.h"

namespace {

using kvw::plot::EclipsePicture;
using kvw::plot::OcPoint;
using kvw::plot::PlotError;
using kvw::testing::TempDir;

struct SvgText {
    bool wellFormed = false;
    std::string root, title, description;
};

// Parses the file as XML: the root element's name and the text of its title
// and desc elements.
SvgText readSvg(const std::filesystem::path& path) {
    SvgText svg;
    xmlDocPtr document = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR);
    if (document == nullptr) {
        return svg;
    }
    svg.wellFormed = true;
    const xmlNode* root = xmlDocGetRootElement(document);
    svg.root = reinterpret_cast<const char*>(root->name);
    for (const xmlNode* node = root->children; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) {
            continue;
        }
        const std::string name = reinterpret_cast<const char*>(node->name);
        if (name == "title" || name == "desc") {
            xmlChar* content = xmlNodeGetContent(node);
            (name == "title" ? svg.title : svg.description) = reinterpret_cast<const char*>(content);
            xmlFree(content);
        }
    }
    xmlFreeDoc(document);
    return svg;
}

// Checks the file at path against the signature of its format; for SVG also
// that the title and result are carried as text.
void expectWellFormed(const TempDir& dir, const std::string& name, const std::string& title,
                      const std::string& description) {
    ASSERT_TRUE(dir.exists(name)) << name;
    const std::string bytes = dir.read(name);
    const std::string extension = name.substr(name.rfind('.') + 1);
    if (extension == "svg") {
        const SvgText svg = readSvg(dir / name);
        EXPECT_TRUE(svg.wellFormed) << name;
        EXPECT_EQ(svg.root, "svg") << name;
        EXPECT_EQ(svg.title, title) << name;
        EXPECT_EQ(svg.description, description) << name;
    } else if (extension == "pdf") {
        EXPECT_EQ(bytes.substr(0, 5), "%PDF-") << name;
        EXPECT_NE(bytes.find("%%EOF", bytes.size() - 8), std::string::npos) << name;
    } else {
        ASSERT_GE(bytes.size(), 24u) << name;
        EXPECT_EQ(bytes.substr(0, 8), "\x89PNG\r\n\x1a\n") << name;
        EXPECT_EQ(bytes.substr(12, 4), "IHDR") << name;
    }
}

const EclipsePicture& demoCase(const std::string& name) {
    static const auto cases = kvw::plot::demo::demoEclipses();
    for (const auto& named : cases) {
        if (named.name == name) {
            return named.picture;
        }
    }
    throw std::logic_error("no demo case " + name);
}

TEST(DemoCases, CoverATimedAnImproperAndAPartialRow) {
    const EclipsePicture& clean = demoCase("eclipse-clean");
    EXPECT_TRUE(clean.hasFit);
    EXPECT_NEAR(clean.minimumTime, 2459000.42731, 3 * clean.error);  // the synthetic curve's true minimum
    EXPECT_FALSE(clean.sums.empty());
    const EclipsePicture& improper = demoCase("eclipse-improper");
    EXPECT_FALSE(improper.hasFit);
    EXPECT_TRUE(std::isnan(improper.minimumTime));
    EXPECT_FALSE(improper.sums.empty());
    const EclipsePicture& partial = demoCase("eclipse-partial");
    EXPECT_TRUE(partial.sums.empty());
    EXPECT_TRUE(partial.gridTimes.empty());
}

TEST(DrawEclipse, EveryRowKindInEveryFormat) {
    const TempDir dir;
    for (const char* name : {"eclipse-clean", "eclipse-sparse", "eclipse-improper", "eclipse-partial"}) {
        for (const char* extension : {".svg", ".pdf", ".png"}) {
            const EclipsePicture& picture = demoCase(name);
            const std::string file = std::string(name) + extension;
            kvw::plot::drawEclipse(picture, (dir / file).string());
            expectWellFormed(dir, file, picture.title, picture.result);
        }
    }
}

TEST(DrawEclipse, AwkwardTextAndValuesStillGiveAWellFormedPicture) {
    const TempDir dir;
    EclipsePicture picture = demoCase("eclipse-sparse");
    picture.title = "AB_Cas #3 <R> & \"V\"\x01 \xff\xfe";  // markup, PLplot's escape, a control, bad UTF-8
    picture.result = "2459123.550392 ± 0.000610 d   ok";
    picture.magnitudes[3] = std::nan("");
    picture.predictedTime = picture.minimumTime + 40;  // far off the axis
    picture.error = 5;                                 // wider than the axis
    kvw::plot::drawEclipse(picture, (dir / "awkward.svg").string());
    expectWellFormed(dir, "awkward.svg", "AB_Cas #3 <R> & \"V\"  \xEF\xBF\xBD\xEF\xBF\xBD", picture.result);

    // A parabola that opens downwards, and a flat one whose vertex lies at no
    // finite time.
    EclipsePicture downwards = demoCase("eclipse-clean");
    downwards.a = -downwards.a;
    EclipsePicture flat = demoCase("eclipse-clean");
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

TEST(DrawOcDiagram, ManyOneAndNoPointsAndHugeErrorBars) {
    const TempDir dir;
    const std::vector<OcPoint> many = kvw::plot::demo::demoOcPoints();
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
    const EclipsePicture& picture = demoCase("eclipse-partial");
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
        kvw::plot::drawEclipse(demoCase("eclipse-clean"), (dir / (std::string("clean") + extension)).string());
    }
    kvw::plot::drawOcDiagram(kvw::plot::demo::demoOcPoints(), "", "", (dir / "o-c.svg").string());
    EXPECT_THROW(kvw::plot::drawOcDiagram({}, "", "", (dir / "missing" / "o-c.svg").string()), PlotError);
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    EXPECT_EQ(dir.read("stdout"), "");
}

}  // namespace
