// Whole runs of kvw-minima: the same timing as kvw, many eclipses from a
// light-curve file (FITS and CSV alike), the real files observers have, and
// input that must fail cleanly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/fields.h"
#include "support/whole_run.h"
#include "support/write_fits.h"

namespace kvw::testing {
namespace {

RunResult minima(const TempDir& dir, const std::vector<std::string>& arguments) {
    return runBinary(KVW_MINIMA_BINARY, arguments, dir.path(), RunOptions{});
}

// The rows of a CSV table as maps from column name to field (no quoted fields).
std::vector<std::map<std::string, std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::string field;
        std::istringstream cells(line);
        while (std::getline(cells, field, ',')) {
            fields.push_back(field);
        }
        if (!line.empty() && line.back() == ',') {
            fields.emplace_back();
        }
        lines.push_back(fields);
    }
    std::vector<std::map<std::string, std::string>> rows;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::map<std::string, std::string> row;
        for (std::size_t c = 0; c < lines[0].size() && c < lines[i].size(); ++c) {
            row[lines[0][c]] = lines[i][c];
        }
        rows.push_back(row);
    }
    return rows;
}

double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// Gaussian eclipses of the given depths and centres on an even cadence.
struct Eclipse {
    double centre;
    double depth;
};

std::vector<std::pair<double, double>> lightCurve(double begin, double length, int points,
                                                  const std::vector<Eclipse>& eclipses, double noise, unsigned seed) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> scatter(0.0, noise);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    std::vector<std::pair<double, double>> curve;
    for (int k = 0; k < points; ++k) {
        const double t = begin + length * (k + jitter(random)) / points;
        double m = 10.5 + scatter(random);
        for (const Eclipse& e : eclipses) {
            m += e.depth * std::exp(-0.5 * std::pow((t - e.centre) / 0.015, 2));
        }
        curve.emplace_back(t, m);
    }
    return curve;
}

std::string asText(const std::vector<std::pair<double, double>>& curve) {
    std::string text;
    char line[64];
    for (const auto& [t, m] : curve) {
        std::snprintf(line, sizeof line, "%.6f %.5f\n", t, m);
        text += line;
    }
    return text;
}

// kvw and kvw-minima time a plain two-column file alike: the same time, error
// and mean value as kvw prints them, improper where kvw says so.
TEST(MinimaRun, TimesAFileAsKvwDoes) {
    struct Case {
        const char* name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"clean", asText(lightCurve(2459000.3, 0.25, 300, {{2459000.43, 0.8}}, 0.004, 1))},
        {"noisy and sparse", asText(lightCurve(2459000.3, 0.25, 40, {{2459000.42, 0.5}}, 0.03, 2))},
        {"one branch only", asText(lightCurve(2459000.3, 0.12, 100, {{2459000.43, 0.8}}, 0.004, 3))},
        {"small numbers", asText(lightCurve(0.3, 0.25, 200, {{0.41, 0.3}}, 0.002, 4))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("curve.dat", c.text);
        RunOptions reply;
        reply.input = "curve.dat\n";
        const RunResult console = runKvw(dir.path(), reply);
        ASSERT_EQ(console.status, 0) << console.errors;
        const RunResult table = minima(dir, {"curve.dat"});
        ASSERT_EQ(table.status, 0) << table.errors;
        const auto rows = csvRows(table.output);
        ASSERT_EQ(rows.size(), 1u) << table.output;
        const auto& row = rows.front();
        if (console.output.find("IMPROPER MINIMUM") != std::string::npos) {
            EXPECT_EQ(row.at("status"), "improper");
            EXPECT_EQ(row.at("time"), "");
            continue;
        }
        const std::string report = "  MEAN VALUE=" + fixedField(number(row.at("mean_value")), 9, 6) +
                                   " MINIMUM TIME=" + fixedField(number(row.at("time")), 14, 6) + "\r\n" +
                                   std::string(22, ' ') + "MINIMUM ERROR=" +
                                   fixedField(number(row.at("error_classic")), 14, 6) + "\r\n";
        EXPECT_NE(console.output.find(report), std::string::npos) << console.output << "\nvs\n" << report;
    }
}

// A TESS-like file of twelve eclipses: wild points flagged by QUALITY, NaN
// fluxes, and a gap that cuts the sixth eclipse in half. Every whole eclipse
// is timed near its true minimum, the cut one is partial, and the same curve
// as CSV gives the same rows.
TEST(MinimaRun, ManyEclipsesFromFitsAndTheSameAsCsv) {
    const double reference = 2457000.0;
    const double period = 0.83;
    const double epoch = 2459000.4123;
    std::vector<Eclipse> eclipses;
    for (int e = 0; e < 12; ++e) {
        eclipses.push_back({epoch + e * period + 0.0004 * std::sin(e), 0.6});
    }
    const auto curve = lightCurve(2459000.0, 10.0, 7200, eclipses, 0.003, 7);
    FitsLightCurve fits;
    std::string csv = "time,flux\n";
    std::mt19937_64 random(8);
    for (std::size_t k = 0; k < curve.size(); ++k) {
        const auto& [t, m] = curve[k];
        if (std::fabs(t - eclipses[5].centre) < 0.02 && t > eclipses[5].centre) {
            continue;  // the gap: the second half of eclipse 6
        }
        // Fluxes in single precision, as a TESS file holds them.
        const double flux = static_cast<float>(std::pow(10.0, -0.4 * (m - 10.5)) * 15000);
        const bool wild = k % 97 == 0;
        const bool missing = k % 131 == 0;
        fits.times.push_back(t - reference);
        fits.fluxes.push_back(missing ? std::nan("") : wild ? flux * 3 : flux);
        fits.quality.push_back(wild ? 128 : 0);
        if (!wild && !missing) {
            char line[64];
            std::snprintf(line, sizeof line, "%.17g,%.17g\n", t, flux);
            csv += line;
        }
    }
    TempDir dir;
    writeFitsLightCurve(dir / "tess.fits", fits);
    dir.write("tess.csv", csv);
    const std::vector<std::string> ephemeris = {"--period", "0.83", "--epoch", "2459000.4123", "--half-width", "0.08"};
    std::vector<std::string> fitsRun = ephemeris;
    fitsRun.push_back("tess.fits");
    const RunResult fromFits = minima(dir, fitsRun);
    EXPECT_EQ(fromFits.status, 0) << fromFits.errors;
    EXPECT_NE(fromFits.errors.find("QUALITY"), std::string::npos) << fromFits.errors;
    const auto rows = csvRows(fromFits.output);
    ASSERT_EQ(rows.size(), 12u) << fromFits.output;
    for (std::size_t e = 0; e < rows.size(); ++e) {
        SCOPED_TRACE(e);
        EXPECT_EQ(rows[e].at("cycle"), std::to_string(e));
        EXPECT_EQ(rows[e].at("type"), "primary");
        if (e == 5) {
            EXPECT_EQ(rows[e].at("status"), "partial");
            EXPECT_EQ(rows[e].at("time"), "");
            continue;
        }
        EXPECT_EQ(rows[e].at("status"), "ok");
        EXPECT_NEAR(number(rows[e].at("time")), eclipses[e].centre, 0.0003);
        EXPECT_NEAR(number(rows[e].at("o_c")), eclipses[e].centre - (epoch + static_cast<double>(e) * period),
                    0.0003);
    }

    std::vector<std::string> csvRun = ephemeris;
    csvRun.push_back("tess.csv");
    const RunResult fromCsv = minima(dir, csvRun);
    EXPECT_EQ(fromCsv.status, 0) << fromCsv.errors;
    const auto again = csvRows(fromCsv.output);
    ASSERT_EQ(again.size(), rows.size());
    for (std::size_t e = 0; e < rows.size(); ++e) {
        for (const char* column : {"cycle", "points", "time", "error_classic", "mean_value", "o_c", "status"}) {
            EXPECT_EQ(again[e].at(column), rows[e].at(column)) << "eclipse " << e << ", " << column;
        }
    }
}

// The real files of observers (tests/data): every eclipse timed ok (so inside
// the eclipse the observations show), with an error no smaller than half the
// classic one.
TEST(MinimaRun, RealFilesAreTimed) {
    const std::string data = KVW_TEST_DATA;
    struct Case {
        std::vector<std::string> arguments;
        std::size_t rows;
    };
    const std::vector<Case> cases = {
        {{"--flux-column", "2", data + "/cmdra7023.lc", data + "/cmdra7024.lc"}, 2},
        {{data + "/v456cyg.aavso.txt", data + "/v500peg.aavso.txt"}, 2},
        {{"--epoch", "2455625.7", "--half-width", "1.5", data + "/dip_llc.fits"}, 1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        const RunResult result = minima(dir, c.arguments);
        EXPECT_EQ(result.status, 0) << result.errors;
        const auto rows = csvRows(result.output);
        ASSERT_EQ(rows.size(), c.rows) << result.output;
        for (const auto& row : rows) {
            EXPECT_EQ(row.at("status"), "ok");
            EXPECT_GT(number(row.at("error")), 0.5 * number(row.at("error_classic")));
        }
    }
}

// Input that cannot be timed ends with status 2 and a message that says where,
// never with a crash; the other files are still timed.
TEST(MinimaRun, BadInputIsReportedAndTheRestTimed) {
    TempDir dir;
    dir.write("good.dat", asText(lightCurve(2459000.3, 0.25, 300, {{2459000.43, 0.8}}, 0.004, 1)));
    dir.write("bad.csv", "time,mag\n2459000.1,10.5\n2459000.2,10.7x\n");
    dir.write("noise.bin", std::string("\x89\x00\xff\x13garbage\x00\x01", 14));
    dir.write("flux.csv", "time,flux\n1,2\n2,3\n3,4\n");
    FitsLightCurve fits;
    for (int k = 0; k < 200; ++k) {
        fits.times.push_back(2000 + 0.01 * k);
        fits.fluxes.push_back(1000);
    }
    writeFitsLightCurve(dir / "whole.fits", fits);
    const std::string whole = dir.read("whole.fits");
    dir.write("cut.fits", whole.substr(0, whole.size() / 2));
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
        bool timesGood;  // good.dat is still timed
    };
    const std::vector<Case> cases = {
        {{"bad.csv", "good.dat"}, "bad.csv:3: column 2 (mag): cannot read \"10.7x\" as a number", true},
        {{"noise.bin", "good.dat"}, "noise.bin", true},
        {{"cut.fits", "good.dat"}, "cut.fits", true},
        {{"missing.dat", "good.dat"}, "missing.dat", true},
        {{"--flux-column", "brightness", "flux.csv"}, "brightness", false},
        {{"--period", "-1", "good.dat"}, "--help", false},
        {{"--epoch", "1", "good.dat"}, "--help", false},
        {{"--mag-column", "2", "--flux-column", "3", "good.dat"}, "--help", false},
        {{"--no-such-option", "good.dat"}, "--help", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        const RunResult result = minima(dir, c.arguments);
        EXPECT_EQ(result.status, 2) << result.errors;
        EXPECT_EQ(result.signal, 0);
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << result.errors;
        EXPECT_EQ(result.output.find("good.dat,") != std::string::npos, c.timesGood) << result.output;
    }
    EXPECT_FALSE(dir.exists("missing.dat"));
}

}  // namespace
}  // namespace kvw::testing
