// Files: the real light curves kept in tests/data, FITS files written by the
// test, the choice of format by content, and files that cannot be read.
#include <cmath>
#include <fstream>
#include <limits>
#include <random>

#include "read_case.h"
#include "support/whole_run.h"
#include "support/write_fits.h"

namespace {

using namespace kvw::readers;
using kvw::testing::FitsLightCurve;
using kvw::testing::TempDir;
using kvw::testing::writeFitsLightCurve;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string dataFile(const char* name) {
    return std::string(KVW_TEST_DATA) + "/" + name;
}

std::string failureOf(const std::string& path, const ReadOptions& options = {}) {
    try {
        readLightCurve(path, options, readFitsLightCurve);
    } catch (const ReadError& error) {
        return error.what();
    }
    return "(read without a failure)";
}

struct RealFile {
    const char* name;
    ReadOptions options;
    std::size_t count;
    double first;
    double last;
    double firstMagnitude;
    std::size_t errors;
    std::vector<std::string> notes;
};

TEST(RealFiles, KnownValues) {
    const std::vector<RealFile> files = {
        {"cmdra7023.lc", {.fluxColumn = "2"}, 22, 58738.65150805, 58738.68067416, 0.3701870450498449, 0, {}},
        {"cmdra7024.lc", {.fluxColumn = "2"}, 30, 58739.90842904, 58739.94870609, -2.5 * std::log10(0.9472268), 0, {}},
        // 2026-07-29 21:02:42.824 and 23:40:42.819 UTC; the Julian dates are the doubles nearest the exact values.
        {"v456cyg.aavso.txt", {}, 142, 2461251.3768845368, 2461251.4866067013, 11.013, 142, {}},
        {"v500peg.aavso.txt", {}, 120, 2461261.3605604628, 2461261.5441601044, 11.542, 120,
         {"sorted by time: the points were not in time order"}},
        // 490 cadences; TIME + 2454833, PDCSAP_FLUX = 258770.7 e-/s at the first good one.
        {"dip_llc.fits", {}, 423, 2455619.467192612, 2455629.6227584253, -13.54235401584008, 423,
         {"left out 67 points with a non-zero SAP_QUALITY flag"}},
    };
    for (const RealFile& file : files) {
        const LightCurve curve = readLightCurve(dataFile(file.name), file.options, readFitsLightCurve);
        ASSERT_EQ(curve.times.size(), file.count) << file.name;
        EXPECT_EQ(curve.magnitudes.size(), file.count) << file.name;
        EXPECT_EQ(curve.times.front(), file.first) << file.name;
        EXPECT_EQ(curve.times.back(), file.last) << file.name;
        EXPECT_NEAR(curve.magnitudes.front(), file.firstMagnitude, 1e-12) << file.name;
        EXPECT_EQ(curve.errors.size(), file.errors) << file.name;
        EXPECT_EQ(curve.notes, file.notes) << file.name;
        EXPECT_TRUE(std::is_sorted(curve.times.begin(), curve.times.end())) << file.name;
    }
}

class WrittenFits : public ::testing::Test {
protected:
    void SetUp() override {
        FitsLightCurve curve;
        curve.times = {1, 2, 3, 4, kNaN, 6, 5, 7};
        curve.fluxes = {100, kNaN, 1000, 10, 100, 1, 10, HUGE_VAL};
        curve.fluxErrors = {1.5625, 1, 15.625, 1, 1, 0.015625, 0.15625, 1};  // 1/64 of the flux, exact in float
        curve.quality = {0, 0, 0, 512, 0, 0, 0, 0};
        curve.bjdReferenceFraction = 0.5;
        writeFitsLightCurve(path, curve);
    }
    std::string bytes() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    TempDir directory;
    std::string path = (directory / "tess.fits").string();
};

TEST_F(WrittenFits, QualityFlagsAndNonFiniteValuesLeftOutAndCounted) {
    const LightCurve curve = readLightCurve(path, {}, readFitsLightCurve);
    EXPECT_EQ(curve.times, (std::vector<double>{2457001.5, 2457003.5, 2457005.5, 2457006.5}));
    EXPECT_EQ(curve.magnitudes, (std::vector<double>{-5, -7.5, -2.5, 0}));
    ASSERT_EQ(curve.errors.size(), 4u);
    for (const double error : curve.errors) {
        EXPECT_NEAR(error, 1.0857362047581296 / 64, 1e-17);  // 2.5/ln 10 * 1/64
    }
    EXPECT_EQ(curve.notes, (std::vector<std::string>{"left out 1 point with a NaN PDCSAP_FLUX",
                                                     "left out 1 point with a non-zero QUALITY flag",
                                                     "left out 1 point with a NaN TIME",
                                                     "left out 1 point with an infinite PDCSAP_FLUX",
                                                     "sorted by time: the points were not in time order"}));
    // A column read as magnitudes, with its own error column.
    const LightCurve asIs = readLightCurve(path, {.magColumn = "pdcsap_flux", .errorColumn = "4"}, readFitsLightCurve);
    EXPECT_EQ(asIs.magnitudes, (std::vector<double>{100, 1000, 10, 1}));
    EXPECT_EQ(asIs.errors, (std::vector<double>{1.5625, 15.625, 0.15625, 0.015625}));
}

TEST_F(WrittenFits, BrokenFilesAndMissingColumns) {
    const std::string message = failureOf(path, {.fluxColumn = "SAP_FLUX"});
    EXPECT_EQ(message, path + R"(: no column named "SAP_FLUX" (the columns are TIME, PDCSAP_FLUX, QUALITY, )"
                              "PDCSAP_FLUX_ERR)");

    const std::string whole = bytes();
    const std::string truncated = (directory / "truncated.fits").string();
    directory.write("truncated.fits", whole.substr(0, 2 * 2880 + 100));  // into the rows
    EXPECT_EQ(failureOf(truncated),
              truncated + ": cannot read the FITS file: it is truncated (5860 bytes, the table ends at byte 5920)");
    directory.write("truncated.fits", whole.substr(0, 2880 + 1000));  // into the table's header
    EXPECT_EQ(failureOf(truncated), truncated + ": cannot read the FITS file: no LIGHTCURVE table, and the file is "
                                                "not a whole number of 2880-byte blocks (truncated?)");

    // Damage cfitsio 4.2 does not catch: column texts that are not quoted strings and fill their cards (it would
    // overrun a buffer), and a count of columns it would allocate gigabytes for.
    const struct {
        const char* card;
        std::string value;
        std::string problem;
    } damages[] = {
        {"TTYPE2  =", ' ' + std::string(70, 'A'), "the value of TTYPE2 at byte @ is not a quoted string"},
        {"TUNIT1  =", "\x1b'" + std::string(69, 'C'), "the value of TUNIT1 at byte @ is not a quoted string"},
        {"TFIELDS =", std::string(21, ' ') + "22222222" + std::string(42, ' '),
         "TFIELDS at byte @ counts 22222222 columns; at most 999 are allowed"},
    };
    const std::string damagedPath = (directory / "damaged.fits").string();
    for (const auto& damage : damages) {
        std::string damaged = whole;
        const std::size_t card = damaged.find(damage.card);
        damaged.replace(card + 9, 71, damage.value);
        directory.write("damaged.fits", damaged);
        std::string problem = damage.problem;
        problem.replace(problem.find('@'), 1, std::to_string(card));
        EXPECT_EQ(failureOf(damagedPath), damagedPath + ": cannot read the FITS file: a damaged header (" + problem + ")");
    }

    std::mt19937 random(20240229);
    std::string noise = "SIMPLE  =";
    for (int i = 0; i < 10000; ++i) {
        noise += static_cast<char>(random());
    }
    directory.write("noise.fits", noise);
    EXPECT_TRUE(failureOf((directory / "noise.fits").string()).find(": cannot read the FITS file: ") !=
                std::string::npos);
}

TEST(ReadLightCurve, FormatByContentAndFilesThatCannotBeRead) {
    const TempDir directory;
    directory.write("looks.fits", "1 10\n2 11\n");
    directory.write("export.csv", "#TYPE=EXTENDED\n#NAME,DATE,MAG\nX,2450702.1,11\nX,2450702.2,12\n");
    directory.write("visual.txt", "# TYPE = Visual\nSS CYG,2450702.1,11\n");
    directory.write("packed.gz", std::string("\x1F\x8B\x08\x00", 4));
    EXPECT_EQ(readLightCurve((directory / "looks.fits").string(), {}, readFitsLightCurve).times, (std::vector<double>{1, 2}));
    EXPECT_EQ(readLightCurve((directory / "export.csv").string(), {}, readFitsLightCurve).times, (std::vector<double>{2450702.1, 2450702.2}));

    const std::string base = directory.path().string();
    EXPECT_EQ(failureOf(base + "/visual.txt"),
              base + R"(/visual.txt: an AAVSO file of type "VISUAL": only the extended format (#TYPE=EXTENDED) is read)");
    EXPECT_EQ(failureOf(base + "/packed.gz"), base + "/packed.gz: a compressed (gzip) file: uncompress it first");
    EXPECT_EQ(failureOf(base + "/none.csv"), base + "/none.csv: cannot open it: No such file or directory");
    EXPECT_FALSE(directory.exists("none.csv"));
    EXPECT_EQ(failureOf(base), base + ": is a directory, not a file");
    // Endless devices are refused at their first bytes; a band needs an AAVSO export.
    EXPECT_EQ(failureOf("/dev/zero"), "/dev/zero: a NUL byte at byte 1: not a text table (a binary file, or text "
                                      "saved as UTF-16?)");
    EXPECT_EQ(readLightCurve((directory / "looks.fits").string(), {.band = "V"}, readFitsLightCurve).notes,
              (std::vector<std::string>{R"(the band "V" is not used: only AAVSO extended exports have bands)"}));
}

}  // namespace
