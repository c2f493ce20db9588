// Whole runs of kvw-minima: the same timing as kvw, many eclipses from a
// light-curve file (FITS and CSV alike), the real files observers have, and
// input that must fail cleanly.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
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

// The blank between the two numbers of each line replaced by a comma, a
// semicolon or a tab, with blanks around or not, changing from line to line.
std::string mixedSeparators(std::string text) {
    static const char* const kSeparators[] = {" ", "\t", ",", ";", " , ", " ;\t", "\t,"};
    std::string mixed;
    std::size_t line = 0;
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string row = text.substr(start, end - start);
        const std::size_t blank = row.find(' ');
        mixed += row.substr(0, blank) + kSeparators[line++ % 7] + row.substr(blank + 1) + '\n';
    }
    return mixed;
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
        {"separators mixed line by line", mixedSeparators(asText(lightCurve(2459000.3, 0.25, 300, {{2459000.43, 0.8}}, 0.004, 5)))},
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
        {{"--half-width", "0.1", "good.dat"}, "--help", false},
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


const std::string kGoodCurve = asText(lightCurve(2459000.3, 0.25, 300, {{2459000.43, 0.8}}, 0.004, 1));

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// A file name that is not UTF-8 (Latin-1, from an old archive): its bytes in
// CSV, U+FFFD for them in JSON, both rows timed, the older table replaced.
TEST(MinimaRun, NamesThatAreNotUtf8) {
    TempDir dir;
    const std::string latin1 = "M\xF6" "dling.dat";
    dir.write("good.dat", kGoodCurve);
    dir.write(latin1, kGoodCurve);
    struct Case {
        std::string format;
        std::string name;    // as the table writes it
        std::string statusOk;
    };
    const std::vector<Case> cases = {{"json", "\"M\xEF\xBF\xBD" "dling.dat\"", "\"status\": \"ok\""},
                                     {"csv", "\nM\xF6" "dling.dat,", ",ok,"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        dir.write("table", "an older table\n");
        const RunResult result = minima(dir, {"--format", c.format, "-o", "table", "good.dat", latin1});
        EXPECT_EQ(result.status, 0) << result.errors;
        const std::string table = dir.read("table");
        EXPECT_NE(table.find(c.name), std::string::npos) << table;
        EXPECT_EQ(countOf(table, c.statusOk), 2u) << table;
    }
}

// An ephemeris that cannot be computed at the observations' times is refused
// at once with the reason, never counted through cycle by cycle.
TEST(MinimaRun, EphemerisThatCannotBeComputedIsRefused) {
    TempDir dir;
    dir.write("good.dat", kGoodCurve);
    dir.write("typo.dat", kGoodCurve + "24590001.5 10.5\n");
    const std::string fits = std::string(KVW_TEST_DATA) + "/dip_llc.fits";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--epoch", "1e17", "good.dat"}, "(the epoch lies -1e+17 cycles from them)"},
        {{"--epoch", "1e16", fits}, "the predicted times at the observations are uncertain by 4 days"},
        {{"--epoch", "2459000.43", "--secondary", "1e-12", "good.dat"}, "cannot be told apart"},
        {{"--epoch", "2459000.43", "typo.dat"}, "more than 1000000 periods of 1 days: a mistyped time"},
    };
    for (const auto& [ephemeris, message] : cases) {
        SCOPED_TRACE(ephemeris[1]);
        std::vector<std::string> arguments = {"--period", "1", "--half-width", "0.1"};
        arguments.insert(arguments.end(), ephemeris.begin(), ephemeris.end());
        RunOptions options;
        options.timeoutSeconds = 20;
        const RunResult result = runBinary(KVW_MINIMA_BINARY, arguments, dir.path(), options);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.errors.find(message), std::string::npos) << result.errors;
    }
}

// Observations whose timing is not finite give a failed row with its numbers
// empty and the reason in the observer's words; never nan or inf in a table.
TEST(MinimaRun, TimingsThatAreNotFiniteFail) {
    const auto curve = lightCurve(2459000.3, 0.25, 300, {{2459000.43, 0.8}}, 0.004, 1);
    using Curve = std::vector<std::pair<double, double>>;
    struct Case {
        const char* name;
        std::function<void(Curve&)> spoil;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {"one magnitude of 1e300", [](Curve& c) { c.back().second = 1e300; },
         "the squares of the magnitude differences overflow"},
        {"one time of 1e300", [](Curve& c) { c[150].first = 1e300; },
         "the squares of the time differences overflow"},
        {"every time twice", [](Curve& c) { for (std::size_t k = 1; k < c.size(); k += 2) c[k].first = c[k - 1].first; },
         "150 observation(s) repeat the time of the one before"},
        {"one time for all", [](Curve& c) { for (auto& p : c) p.first = 2459000.5; }, "observations are at one time"},
        {"a flat curve", [](Curve& c) { for (auto& p : c) p.second = 10.5; }, "a flat light curve has no minimum"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Curve spoilt = curve;
        c.spoil(spoilt);
        std::string text;
        for (const auto& [t, m] : spoilt) {
            char line[64];
            std::snprintf(line, sizeof line, "%.17g %.17g\n", t, m);
            text += line;
        }
        dir.write("spoilt.dat", text);
        const RunResult csv = minima(dir, {"spoilt.dat"});
        const RunResult json = minima(dir, {"--format", "json", "spoilt.dat"});
        EXPECT_EQ(csv.output.substr(csv.output.find('\n') + 1), "spoilt.dat,,,,,300,,,,,,unknown,failed,\n");
        EXPECT_NE(csv.errors.find(c.reason), std::string::npos) << csv.errors;
        EXPECT_NE(json.output.find(c.reason), std::string::npos) << json.output;
        for (const char* nonNumber : {"nan", "inf"}) {
            EXPECT_EQ((csv.output + json.output).find(nonNumber), std::string::npos);
        }
    }
}

// -o FILE is replaced whole, never one of the inputs: a run that fails, even
// part way through the writing, leaves an older FILE as it was and nothing
// beside it.
TEST(MinimaRun, TableReplacesItsFileWhole) {
    TempDir dir;
    dir.write("good.dat", kGoodCurve);
    RunOptions smallFiles;
    smallFiles.fileSizeLimit = 100;  // less than the header and one row
    struct Case {
        std::vector<std::string> arguments;
        RunOptions options;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"-o", "table.csv", "good.dat"}, smallFiles, "cannot write the table to table.csv: File too large"},
        {{"-o", "./good.dat", "good.dat"}, {}, "the table (-o ./good.dat) would replace the input file good.dat"},
        {{"-o", "table.csv", "missing.dat"}, {}, "no file could be timed: no table written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        dir.write("table.csv", "an older table\n");
        const RunResult result = runBinary(KVW_MINIMA_BINARY, c.arguments, dir.path(), c.options);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << result.errors;
        EXPECT_EQ(dir.read("table.csv"), "an older table\n");
        EXPECT_EQ(dir.read("good.dat"), kGoodCurve);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
    }
    EXPECT_EQ(minima(dir, {"-o", "table.csv", "good.dat"}).status, 0);
    EXPECT_TRUE(dir.read("table.csv").starts_with("file,cycle,"));
}

// A table that cannot be written says why, in the system's words.
TEST(MinimaRun, WriteFailuresSayWhy) {
    TempDir dir;
    dir.write("good.dat", kGoodCurve);
    RunOptions closed;
    closed.closeOutput = true;
    const std::vector<std::pair<RunOptions, std::string>> cases = {
        {{}, "cannot write the table to /dev/full: No space left on device"},
        {closed, "cannot write the table to standard output: Bad file descriptor"},
    };
    for (const auto& [options, message] : cases) {
        const std::vector<std::string> arguments =
            options.closeOutput ? std::vector<std::string>{"good.dat"} : std::vector<std::string>{"-o", "/dev/full", "good.dat"};
        const RunResult result = runBinary(KVW_MINIMA_BINARY, arguments, dir.path(), options);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.errors, "kvw-minima: " + message + "\n");
    }
}

// The phase of --secondary written apart is its phase; a phase outside (0, 1)
// is refused.
TEST(MinimaRun, SecondaryPhaseWrittenApart) {
    std::vector<Eclipse> eclipses;
    for (int e = 0; e < 3; ++e) {
        eclipses.push_back({2459000.4 + 0.8 * e, 0.8});
        eclipses.push_back({2459000.4 + 0.8 * (e + 0.45), 0.3});
    }
    TempDir dir;
    dir.write("both.dat", asText(lightCurve(2459000.3, 2.0, 4000, eclipses, 0.003, 9)));
    const std::vector<std::string> ephemeris = {"--period", "0.8", "--epoch", "2459000.4", "--half-width", "0.06"};
    struct Case {
        std::vector<std::string> secondary;
        int status;
        std::string cycles;  // of the rows, joined
    };
    const std::vector<Case> cases = {
        {{"--secondary", "0.45"}, 0, "0 0.45 1 1.45 2 "},
        {{"--secondary=0.45"}, 0, "0 0.45 1 1.45 2 "},
        {{"--secondary", "1"}, 2, ""},
        {{"--secondary", "-0.2"}, 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.secondary.back());
        std::vector<std::string> arguments = ephemeris;
        arguments.insert(arguments.end(), c.secondary.begin(), c.secondary.end());
        arguments.push_back("both.dat");
        const RunResult result = minima(dir, arguments);
        EXPECT_EQ(result.status, c.status) << result.errors;
        std::string cycles;
        for (const auto& row : csvRows(result.output)) {
            cycles += row.at("cycle") + " ";
            EXPECT_EQ(row.at("status"), "ok");
        }
        EXPECT_EQ(cycles, c.cycles);
        if (c.status != 0) {
            EXPECT_NE(result.errors.find("must be a phase between 0 and 1"), std::string::npos) << result.errors;
        }
    }
}
// The JSON table read back: the same rows as the CSV table, to the last bit,
// and the method's work in them, which gives the time again: every trial
// with its pairs and sum, and the parabola through the smallest of trials
// K..3K whose vertex is the time. "--secondary" alone before the file means
// phase 0.5.
TEST(MinimaRun, JsonReadBackGivesTheRowsAndTheirTimes) {
    std::vector<Eclipse> eclipses;
    for (int e = 0; e < 3; ++e) {
        eclipses.push_back({2459000.4 + 0.8 * e, 0.8});
        eclipses.push_back({2459000.8 + 0.8 * e, 0.3});
    }
    TempDir dir;
    dir.write("both.dat", asText(lightCurve(2459000.3, 2.0, 3000, eclipses, 0.003, 9)));
    const std::vector<std::string> arguments = {"--period", "0.8", "--epoch", "2459000.4", "--half-width", "0.06",
                                                "--secondary", "both.dat"};
    const RunResult csv = minima(dir, arguments);
    std::vector<std::string> asJson = {"--format", "json"};
    asJson.insert(asJson.end(), arguments.begin(), arguments.end());
    const RunResult json = minima(dir, asJson);
    ASSERT_EQ(csv.status, 0) << csv.errors;
    ASSERT_EQ(json.status, 0) << json.errors;
    const auto rows = csvRows(csv.output);
    const nlohmann::json table = nlohmann::json::parse(json.output);
    const nlohmann::json& read = table.at("eclipses");
    ASSERT_EQ(read.size(), rows.size());
    ASSERT_EQ(rows.size(), 5u);  // 0, 0.5, 1, 1.5, 2: the last secondary lies past the data
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        const nlohmann::json& row = read[i];
        EXPECT_EQ(rows[i].at("cycle"), i % 2 == 0 ? std::to_string(i / 2) : std::to_string(i / 2) + ".5");
        EXPECT_EQ(row.at("status"), rows[i].at("status"));
        for (const char* column : {"cycle", "predicted", "time", "error", "error_classic", "mean_value", "o_c"}) {
            EXPECT_EQ(row.at(column).get<double>(), number(rows[i].at(column))) << column;
        }
        const std::vector<double> times = row.at("trials").at("time");
        const std::vector<double> sums = row.at("trials").at("sum");
        const std::vector<int> pairs = row.at("trials").at("pairs");
        ASSERT_EQ(times.size() % 4, 3u);  // 4K - 1
        ASSERT_EQ(sums.size(), times.size());
        ASSERT_EQ(pairs.size(), times.size());
        const std::size_t k = (times.size() + 1) / 4;
        const nlohmann::json& parabola = row.at("parabola");
        const auto smallest = parabola.at("smallest_trial").get<std::size_t>();
        const auto searchedFirst = sums.begin() + static_cast<std::ptrdiff_t>(k - 1);
        const auto searchedEnd = sums.begin() + static_cast<std::ptrdiff_t>(3 * k);
        EXPECT_EQ(smallest, static_cast<std::size_t>(std::min_element(searchedFirst, searchedEnd) - sums.begin()) + 1);
        const double a = parabola.at("a");
        const double b = parabola.at("b");
        const double vertex = parabola.at("origin").get<double>() - b / (2 * a);
        EXPECT_NEAR(vertex, row.at("time").get<double>(), 1e-9);
        EXPECT_GT(vertex, times[smallest - 2]);
        EXPECT_LT(vertex, times[smallest]);
    }
}

// --noise gives the error per observation instead of the one the sums show;
// --min-points the observations an eclipse needs on each side.
TEST(MinimaRun, NoiseAndMinimumPointsShapeTheRows) {
    TempDir dir;
    dir.write("one.dat", asText(lightCurve(2459000.3, 0.25, 300, {{2459000.43, 0.8}}, 0.003, 1)));
    const std::vector<std::string> ephemeris = {"--epoch", "2459000.43", "--half-width", "0.05"};
    const auto rowOf = [&](std::vector<std::string> arguments) {
        arguments.push_back("one.dat");
        const RunResult result = minima(dir, arguments);
        EXPECT_EQ(result.status, 0) << result.errors;
        const auto rows = csvRows(result.output);
        EXPECT_EQ(rows.size(), 1u) << result.output;
        return rows.empty() ? std::map<std::string, std::string>() : rows.front();
    };
    const auto measured = rowOf({});
    const auto noisy = rowOf({"--noise", "0.03"});
    EXPECT_EQ(noisy.at("error_classic"), measured.at("error_classic"));
    EXPECT_GT(number(noisy.at("error")), 3 * number(measured.at("error")));

    // About 60 observations on each side of the predicted time in the window.
    std::vector<std::string> enough = ephemeris;
    enough.insert(enough.end(), {"--min-points", "50"});
    EXPECT_EQ(rowOf(enough).at("status"), "ok");
    std::vector<std::string> tooFew = ephemeris;
    tooFew.insert(tooFew.end(), {"--min-points", "70"});
    const auto partial = rowOf(tooFew);
    EXPECT_EQ(partial.at("status"), "partial");
    EXPECT_EQ(partial.at("time"), "");
    const RunResult said = minima(dir, {"--epoch", "2459000.43", "--half-width", "0.05", "--min-points", "70",
                                        "one.dat"});
    EXPECT_NE(said.errors.find("at least 70 needed on each side"), std::string::npos) << said.errors;
}


// Real light curves (copies in tests/data, sources in its README) with their
// catalogue ephemerides: the failures of timing them, each on the file that
// showed it.
const std::string kTestData = KVW_TEST_DATA;
const std::vector<std::string> kCmDra = {"--period", "1.2683892363", "--epoch", "2458739.9292706721"};
const std::vector<std::string> kHd23642 = {"--period", "2.4611357", "--epoch", "7119.52217"};

RunResult minimaOn(const TempDir& dir, std::vector<std::string> arguments, const std::string& file) {
    arguments.push_back(file.find('/') == std::string::npos ? kTestData + "/" + file : file);
    return minima(dir, arguments);
}

std::vector<std::string> with(std::vector<std::string> arguments, const std::vector<std::string>& more) {
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

// CM Dra, TESS sector 24, a window of +-0.1 d (4 times the eclipse's
// half-duration): a replica whose minimum jumped to the flat light after the
// eclipse made errors of 3000-4000 s beside timings good to 2 s.
TEST(RealLightCurves, ErrorHoldsInAWideWindow) {
    TempDir dir;
    const RunResult run = minimaOn(dir, with(kCmDra, {"--half-width", "0.1"}), "cmdra-s24.fits");
    EXPECT_EQ(run.status, 0) << run.errors;
    const auto rows = csvRows(run.output);
    ASSERT_EQ(rows.size(), 4u) << run.output;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.at("cycle"));
        EXPECT_EQ(row.at("status"), row.at("cycle") == "173" ? "partial" : "ok");
        if (row.at("status") == "ok") {
            EXPECT_LT(number(row.at("error")), 10.0 / 86400);
        }
    }
}

// The same sector with the catalogue ephemeris alone: windows measured from the
// folded light curve, the cycles without observations left out and counted,
// the eclipse whose egress alone is in the file (the copy starts there) partial.
TEST(RealLightCurves, TessSectorWithTheEphemerisAlone) {
    TempDir dir;
    const RunResult run = minimaOn(dir, with(kCmDra, {"--secondary"}), "cmdra-s24.fits");
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("primary eclipses timed within 0.03"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("11 predicted eclipse(s) without observations in their windows left out"),
              std::string::npos)
        << run.errors;
    const auto rows = csvRows(run.output);
    std::vector<std::string> cycles;
    for (const auto& row : rows) {
        cycles.push_back(row.at("cycle"));
        EXPECT_GT(number(row.at("half_width")), 0.03);
        EXPECT_LT(number(row.at("half_width")), 0.045);
        EXPECT_EQ(row.at("status"), row.at("cycle") == "173" ? "partial" : "ok") << row.at("cycle");
    }
    EXPECT_EQ(cycles, (std::vector<std::string>{"173", "173.5", "174", "174.5", "175", "181", "181.5"}));
}

// A half-width of most of the period timed the neighbouring eclipse as ok; the
// windows stop half the way to the next eclipse, and a time outside its own
// eclipse is not ok.
TEST(RealLightCurves, WindowsStayWithTheirOwnEclipse) {
    TempDir dir;
    const RunResult run = minimaOn(dir, with(kCmDra, {"--half-width", "1"}), "cmdra-s24.fits");
    EXPECT_NE(run.errors.find("reaches past half the way to the next eclipse"), std::string::npos) << run.errors;
    for (const auto& row : csvRows(run.output)) {
        SCOPED_TRACE(row.at("cycle"));
        EXPECT_DOUBLE_EQ(number(row.at("half_width")), 1.2683892363 / 4);
        if (row.at("status") == "ok") {
            EXPECT_LT(std::fabs(number(row.at("o_c"))), 0.001);
        }
    }
}

// The checks on a 30-minute cadence (K2) and an 18-second one (ground): the
// noise was measured with the eclipse's own slope in it ("no eclipse stands
// out"), the width at three quarters of the depth on the noisy bottom (0.3
// minutes).
TEST(RealLightCurves, ChecksHoldOnEveryCadence) {
    TempDir dir;
    const RunResult k2 = minimaOn(dir, with(kHd23642, {"--secondary"}), "hd23642-k2.dat");
    EXPECT_EQ(k2.errors.find("stands out"), std::string::npos) << k2.errors;
    std::map<std::string, int> statuses;
    for (const auto& row : csvRows(k2.output)) {
        ++statuses[row.at("status")];
    }
    EXPECT_EQ(statuses["ok"], 14) << k2.output;
    const RunResult ground = minimaOn(
        dir, {"--period", "14.2769001", "--epoch", "2456023.26988", "--secondary", "0.533"}, "j0113-t9.dat");
    const auto rows = csvRows(ground.output);
    ASSERT_EQ(rows.size(), 1u) << ground.output << ground.errors;
    EXPECT_EQ(rows.front().at("status"), "ok") << ground.errors;
}

// A column whose name says flux is flux, from the comment line that names the
// columns; read as magnitudes, the values are said to look like fluxes.
TEST(RealLightCurves, FluxReadAsFlux) {
    TempDir dir;
    const std::vector<std::string> ephemeris = {"--period", "1.2683900", "--epoch", "58738.6607"};
    const auto rows = csvRows(minimaOn(dir, ephemeris, "cmdra7023.lc").output);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.front().at("status"), "ok");
    const RunResult asMagnitudes = minimaOn(dir, with(ephemeris, {"--mag-column", "2"}), "cmdra7024.lc");
    EXPECT_NE(asMagnitudes.errors.find("suspect: the values fall around the time found"), std::string::npos)
        << asMagnitudes.errors;
    EXPECT_NE(asMagnitudes.errors.find("--flux-column"), std::string::npos);
}

// An epoch in another time scale than the file's is refused with the offset
// that joins them; --time-offset reads a reduced table against a BJD ephemeris.
TEST(RealLightCurves, TimeScalesThatDifferAreNamed) {
    TempDir dir;
    const std::vector<std::pair<RunResult, std::string>> refused = {
        {minimaOn(dir, {"--period", "2.4611357", "--epoch", "2457119.52217"}, "hd23642-k2.dat"),
         "the file's times look like days less 2450000; give --time-offset 2450000, or the epoch in the file's "
         "scale (7119.52217)"},
        {minimaOn(dir, {"--period", "1.2683892363", "--epoch", "1739.9292706721"}, "cmdra-s24.fits"),
         "the epoch looks like days less 2457000; give it in the file's scale (2458739.9292706721)"},
    };
    for (const auto& [run, message] : refused) {
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
    }
    const RunResult offset = minimaOn(
        dir, {"--period", "2.4611357", "--epoch", "2457119.52217", "--time-offset", "2450000"}, "hd23642-k2.dat");
    EXPECT_EQ(offset.status, 0) << offset.errors;
    const auto rows = csvRows(offset.output);
    ASSERT_FALSE(rows.empty());
    EXPECT_NEAR(number(rows.front().at("time")), 2457065.380, 0.01);
}

// The errors of the points shape the noise of `error`: errors that say the
// light outside the eclipses is twenty times noisier change it.
TEST(RealLightCurves, ErrorColumnShapesTheError) {
    TempDir dir;
    std::ifstream original(kTestData + "/hd23642-k2.dat");
    std::string wild;
    for (std::string line; std::getline(original, line);) {
        std::istringstream fields(line);
        double time = 0;
        std::string magnitude;
        if (line.starts_with('#') || !(fields >> time >> magnitude)) {
            wild += line + "\n";
            continue;
        }
        const double cycles = (time - 7119.52217) / 2.4611357;
        const bool inEclipse = std::fabs(cycles - std::round(cycles)) * 2.4611357 < 0.05;
        wild += std::to_string(time) + " " + magnitude + (inEclipse ? " 0.0005\n" : " 0.01\n");
    }
    dir.write("wild.dat", wild);
    const auto given = csvRows(minimaOn(dir, kHd23642, "hd23642-k2.dat").output);
    const auto changed =
        csvRows(minimaOn(dir, with(kHd23642, {"--error-column", "3"}), (dir / "wild.dat").string()).output);
    ASSERT_EQ(given.size(), changed.size());
    int differing = 0;
    for (std::size_t i = 0; i < given.size(); ++i) {
        if (!given[i].at("error").empty() && !changed[i].at("error").empty()) {
            const double ratio = number(changed[i].at("error")) / number(given[i].at("error"));
            differing += ratio < 0.8 || ratio > 1.25;
        }
    }
    EXPECT_GE(differing, 4);
}

}  // namespace
}  // namespace kvw::testing
