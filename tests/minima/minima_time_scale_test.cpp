// Whole runs of kvw-minima in each time scale: the scale every row states,
// the times converted before they are timed, times left bit for bit as read
// when nothing asks for a conversion, and the bad inputs that write nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "support/whole_run.h"
#include "support/write_fits.h"
#include "timescale/time_scale.h"

namespace kvw::testing {
namespace {

using timescale::TimeScale;

RunResult minima(const TempDir& dir, const std::vector<std::string>& arguments) {
    return runBinary(KVW_MINIMA_BINARY, arguments, dir.path(), RunOptions{});
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields(1);
    for (const char c : line) {
        if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// A field of the CSV table's first row (no quoted fields), by its column's name.
std::string field(const std::string& table, const std::string& column) {
    const std::size_t headerEnd = table.find('\n');
    if (headerEnd == std::string::npos) {
        return "(no row)";
    }
    const std::vector<std::string> names = split(table.substr(0, headerEnd));
    const std::vector<std::string> row = split(table.substr(headerEnd + 1, table.find('\n', headerEnd + 1) - headerEnd - 1));
    for (std::size_t i = 0; i < names.size() && i < row.size(); ++i) {
        if (names[i] == column) {
            return row[i];
        }
    }
    return "(no column " + column + ")";
}

double number(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// A Gaussian eclipse at JD 2459000.43 in 300 lines "time magnitude", or as
// `format` writes the two.
std::string eclipseTable(double offset, const char* format = "%.6f %.5f\n") {
    std::string text;
    char line[64];
    for (int k = 0; k < 300; ++k) {
        const double t = 2459000.3 + 0.25 * k / 300;
        const double m = 10.5 + 0.8 * std::exp(-0.5 * std::pow((t - 2459000.43) / 0.015, 2)) + 0.002 * std::sin(k);
        std::snprintf(line, sizeof line, format, t + offset, m);
        text += line;
    }
    return text;
}

const timescale::SkyPosition kStar{303.0, 36.5};

// Each case: the arguments, the scale of the row, and how its time relates to
// the time as read (the same bits, or converted from one scale to another).
TEST(MinimaTimeScale, EveryRowStatesItsScale) {
    TempDir dir;
    dir.write("plain.dat", eclipseTable(0));
    dir.write("export.txt", "#TYPE=EXTENDED\n#DATE=JD\n#NAME,DATE,MAG\n" + eclipseTable(0, "X,%.6f,%.5f\n"));
    FitsLightCurve fits;
    for (int k = 0; k < 300; ++k) {
        fits.times.push_back(2000.3 + 0.25 * k / 300);
        fits.fluxes.push_back(1000 * std::pow(10, -0.4 * 0.8 * std::exp(-0.5 * std::pow((0.3 + 0.25 * k / 300 - 0.43) /
                                                                                         0.015, 2))));
    }
    fits.position = {kStar.rightAscension, kStar.declination};
    writeFitsLightCurve(dir / "tess.fits", fits);
    const std::string readPlain = minima(dir, {"plain.dat"}).output;
    const std::string readExport = minima(dir, {"--time-out", "as-read", "export.txt"}).output;
    const std::string readFits = minima(dir, {"--time-out", "as-read", "tess.fits"}).output;

    struct Case {
        std::vector<std::string> arguments;
        std::string scale;
        const std::string* asRead;
        TimeScale from;
        TimeScale to;
        std::string note;
    };
    const std::vector<Case> cases = {
        {{"plain.dat"}, "unknown", &readPlain, TimeScale::unknown, TimeScale::unknown, ""},
        {{"export.txt"}, "JD_UTC", &readExport, TimeScale::jdUtc, TimeScale::jdUtc,
         "export.txt: times left in JD_UTC: give --ra and --dec to have them in BJD_TDB"},
        {{"--ra", "20:12:00", "--dec", "+36:30:00", "export.txt"}, "BJD_TDB", &readExport, TimeScale::jdUtc,
         TimeScale::bjdTdb, "export.txt: times converted from JD_UTC to BJD_TDB for RA 303.00000, Dec +36.50000"},
        {{"--ra", "303", "--dec", "36.5", "--time-out", "hjd", "export.txt"}, "HJD_UTC", &readExport,
         TimeScale::jdUtc, TimeScale::hjdUtc, "to HJD_UTC"},
        {{"--time-scale", "hjd", "--ra", "303", "--dec", "36.5", "plain.dat"}, "BJD_TDB", &readPlain,
         TimeScale::hjdUtc, TimeScale::bjdTdb, "from HJD_UTC to BJD_TDB"},
        {{"--time-scale", "bjd", "plain.dat"}, "BJD_TDB", &readPlain, TimeScale::bjdTdb, TimeScale::bjdTdb, ""},
        {{"tess.fits"}, "BJD_TDB", &readFits, TimeScale::bjdTdb, TimeScale::bjdTdb, ""},
        {{"--time-out", "hjd", "tess.fits"}, "HJD_UTC", &readFits, TimeScale::bjdTdb, TimeScale::hjdUtc,
         "tess.fits: times converted from BJD_TDB to HJD_UTC"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front() + " " + c.arguments.back());
        const RunResult result = minima(dir, c.arguments);
        ASSERT_EQ(result.status, 0) << result.errors;
        EXPECT_EQ(field(result.output, "time_scale"), c.scale) << result.output;
        EXPECT_EQ(field(result.output, "status"), "ok") << result.output;
        EXPECT_NE(result.errors.find(c.note), std::string::npos) << result.errors;
        const std::string time = field(result.output, "time");
        const double read = number(field(*c.asRead, "time"));
        if (c.from == c.to) {
            EXPECT_EQ(time, field(*c.asRead, "time"));  // the same bits
        } else {
            // Converted, then timed: the time read, converted, within 0.01 s.
            EXPECT_NEAR(number(time), static_cast<double>(timescale::convertTime(read, c.from, c.to, kStar)),
                        0.01 / 86400);
        }
    }
    const RunResult json = minima(dir, {"--format", "json", "tess.fits"});
    EXPECT_NE(json.output.find("\"time_scale\": \"BJD_TDB\""), std::string::npos) << json.output;
}

// Bad input about time scales: a message, status 2, no table written.
TEST(MinimaTimeScale, BadInputWritesNothing) {
    TempDir dir;
    dir.write("plain.dat", eclipseTable(0));
    dir.write("early.dat", eclipseTable(-23000));  // 1896
    dir.write("late.dat", eclipseTable(4000));     // 2031
    dir.write("export.txt", "#TYPE=EXTENDED\n#DATE=HJD\n#NAME,DATE,MAG\nX,2459000.1,10\nX,2459000.2,11\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"--ra", "24:00:00", "--dec", "0", "plain.dat"}, "--ra: out of range: hours from 0 to 23"},
        {{"--ra", "10", "--dec", "north", "plain.dat"}, "--dec: not a declination"},
        {{"--ra", "10", "plain.dat"}, "--ra requires --dec"},
        {{"--time-scale", "tt", "plain.dat"}, "--time-scale"},
        {{"--time-out", "bjd", "plain.dat"},
         "plain.dat: nothing says in which time scale the times are, so they cannot be put in BJD_TDB: declare it "
         "with --time-scale jd, hjd or bjd"},
        {{"--time-out", "bjd", "export.txt"},
         "export.txt: HJD_UTC cannot be put in BJD_TDB without the star's position: give --ra and --dec"},
        {{"--time-scale", "jd", "export.txt", "plain.dat"},
         "export.txt: --time-scale declares JD_UTC, but the file states HJD_UTC (#DATE=HJD): leave --time-scale out "
         "for this file"},
        {{"--time-scale", "jd", "--ra", "1", "--dec", "2", "plain.dat", "early.dat"},
         "early.dat: JD_UTC cannot be put in BJD_TDB: the date JD 2436000.3 falls before 1960 (UTC)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::vector<std::string> arguments = {"-o", "table.csv"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const RunResult result = minima(dir, arguments);
        EXPECT_EQ(result.status, 2) << result.errors;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << result.errors;
        EXPECT_EQ(result.output, "");
        EXPECT_FALSE(dir.exists("table.csv"));
    }
    // Past the table of leap seconds: its last offset, and a note.
    const RunResult late = minima(dir, {"--time-scale", "jd", "--ra", "1", "--dec", "2", "late.dat"});
    EXPECT_EQ(late.status, 0) << late.errors;
    EXPECT_NE(late.errors.find("late.dat: 300 times fall after " + std::to_string(timescale::lastLeapSecondYear())),
              std::string::npos)
        << late.errors;
}

}  // namespace
}  // namespace kvw::testing
