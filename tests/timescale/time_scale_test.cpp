// Conversions against astropy's values (reference_times.csv, made by
// reference_times.py), positions as observers write them, and the dates and
// scales that cannot be converted.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "timescale/sky_position.h"
#include "timescale/time_scale.h"

namespace {

using namespace kvw::timescale;

struct Reference {
    double jdUtc;
    SkyPosition star;
    long double bjdMinusJd;  // seconds
    long double hjdMinusJd;  // seconds
};

std::vector<Reference> references() {
    std::ifstream file(KVW_REFERENCE_TIMES);
    std::vector<Reference> rows;
    std::string line;
    while (std::getline(file, line)) {
        if (line.starts_with('#')) {
            continue;
        }
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream fields(line);
        Reference row{};
        fields >> row.jdUtc >> row.star.rightAscension >> row.star.declination >> row.bjdMinusJd >> row.hjdMinusJd;
        rows.push_back(row);
    }
    return rows;
}

constexpr long double kSecondsPerDay = 86400;

// Every conversion and its inverse against astropy: within 10 microseconds
// (the worst difference found is printed).
TEST(TimeScale, AgreesWithAstropy) {
    const std::vector<Reference> rows = references();
    ASSERT_GT(rows.size(), 1000u);
    long double worst[4] = {};
    for (const Reference& row : rows) {
        const long double jd = row.jdUtc;
        const long double bjd = jd + row.bjdMinusJd / kSecondsPerDay;
        const long double hjd = jd + row.hjdMinusJd / kSecondsPerDay;
        const long double differences[4] = {
            (bjdTdbFromJdUtc(jd, row.star) - bjd) * kSecondsPerDay,
            (hjdUtcFromJdUtc(jd, row.star) - hjd) * kSecondsPerDay,
            (convertTime(hjd, TimeScale::hjdUtc, TimeScale::bjdTdb, row.star) - bjd) * kSecondsPerDay,
            (convertTime(bjd, TimeScale::bjdTdb, TimeScale::hjdUtc, row.star) - hjd) * kSecondsPerDay,
        };
        for (int i = 0; i < 4; ++i) {
            worst[i] = std::max(worst[i], std::fabs(differences[i]));
        }
    }
    const char* names[4] = {"JD_UTC -> BJD_TDB", "JD_UTC -> HJD_UTC", "HJD_UTC -> BJD_TDB", "BJD_TDB -> HJD_UTC"};
    for (int i = 0; i < 4; ++i) {
        std::cout << names[i] << ": worst difference from astropy " << static_cast<double>(worst[i] * 1e6)
                  << " microseconds over " << rows.size() << " dates and positions\n";
        EXPECT_LT(worst[i], 10e-6L) << names[i];
    }
}

TEST(TimeScale, Refusals) {
    const SkyPosition star{303.0, 36.5};
    const std::vector<double> times = {2461251.5, 2461252.5};
    // No conversion asked for: the very same doubles, no ERFA, no note.
    const ConvertedTimes same = convertTimes(times, TimeScale::jdUtc, TimeScale::jdUtc, star);
    EXPECT_EQ(same.times, times);
    EXPECT_FALSE(same.note);

    struct Case {
        const char* what;
        double time;
        TimeScale from;
        TimeScale to;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"UTC before 1960", 2436934.4, TimeScale::jdUtc, TimeScale::bjdTdb,
         "the date JD 2436934.4 falls before 1960 (UTC), where ERFA's table of leap seconds begins"},
        {"a reduced date taken for a Julian date", 58000.5, TimeScale::hjdUtc, TimeScale::bjdTdb,
         "the date JD 58000.5 falls before 1960 (UTC), where ERFA's table of leap seconds begins (a Julian date in full, "
         "near 2450000, was expected)"},
        {"after the ephemeris", 2490000.5, TimeScale::jdUtc, TimeScale::hjdUtc,
         "the date JD 2490000.5 falls after 2100, where ERFA's ephemeris of the Earth ends"},
        {"unknown scale", 2461251.5, TimeScale::unknown, TimeScale::bjdTdb,
         "times of an unknown scale cannot be converted"},
    };
    for (const Case& c : cases) {
        try {
            convertTimes({c.time}, c.from, c.to, star);
            ADD_FAILURE() << c.what << ": converted";
        } catch (const TimeScaleError& error) {
            EXPECT_EQ(error.what(), c.message) << c.what;
        }
    }
}

TEST(TimeScale, PastTheTableOfLeapSeconds) {
    const int lastYear = lastLeapSecondYear();
    EXPECT_GE(lastYear, 2017);
    const double firstDayPast = 2451544.5 + 365.25 * (lastYear + 1 - 2000) + 1;
    const ConvertedTimes converted =
        convertTimes({firstDayPast - 400, firstDayPast, firstDayPast + 1}, TimeScale::jdUtc, TimeScale::bjdTdb,
                     {0.0, 90.0});
    ASSERT_TRUE(converted.note);
    EXPECT_EQ(*converted.note, "2 times fall after " + std::to_string(lastYear) +
                                   ", past the table of leap seconds ERFA was built with: TAI - UTC = 37 s, its last "
                                   "value, is used (a leap second announced since would move them by a second)");
    EXPECT_TRUE(std::is_sorted(converted.times.begin(), converted.times.end()));
}

// Blocks on several threads give the times of one thread, each within a unit
// in the last place of the time converted alone, and the earliest time that
// cannot be converted is the one reported.
TEST(TimeScale, ManyTimesOnThreads) {
    std::vector<double> times(1100);  // two blocks
    for (std::size_t i = 0; i < times.size(); ++i) {
        times[i] = 2458849.5 + static_cast<double>(i) / 720;
    }
    const SkyPosition star{248.57, 57.16};
    const ConvertedTimes one = convertTimes(times, TimeScale::bjdTdb, TimeScale::hjdUtc, star, 1);
    EXPECT_EQ(convertTimes(times, TimeScale::bjdTdb, TimeScale::hjdUtc, star, 3).times, one.times);
    for (std::size_t i = 0; i < times.size(); i += 100) {
        const double alone = static_cast<double>(convertTime(times[i], TimeScale::bjdTdb, TimeScale::hjdUtc, star));
        ASSERT_LE(std::fabs(one.times[i] - alone), std::nextafter(alone, 3e6) - alone) << i;
    }
    times[600] = 2436000.5;
    times[1050] = 2435000.5;
    try {
        convertTimes(times, TimeScale::jdUtc, TimeScale::bjdTdb, star, 3);
        ADD_FAILURE() << "converted";
    } catch (const TimeScaleError& error) {
        EXPECT_EQ(std::string(error.what()).substr(0, 28), "the date JD 2436000.5 falls ");
    }
}

TEST(SkyPosition, Readings) {
    struct Case {
        const char* text;
        bool rightAscension;
        double degrees;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {"303.5", true, 303.5, ""},
        {"20:12:00", true, 303.0, ""},
        {" 20 12 00 ", true, 303.0, ""},
        {"20h12m00s", true, 303.0, ""},
        {"20:12.5", true, 303.125, ""},
        {"0:00:00.36", true, 0.0015, ""},
        {"+36:30:00", false, 36.5, ""},
        {"-00:30:00", false, -0.5, ""},
        {"-0 30 36", false, -0.51, ""},
        {"+36d30m", false, 36.5, ""},
        {"-5.25", false, -5.25, ""},
        {"90", false, 90.0, ""},
        {"360", true, 0, "out of range: degrees from 0 to less than 360"},
        {"-1", true, 0, "out of range: degrees from 0 to less than 360"},
        {"24:00:00", true, 0, "out of range: hours from 0 to 23"},
        {"20:60:00", true, 0, "out of range: minutes from 0 to 59"},
        {"20:12:60", true, 0, "out of range: seconds less than 60"},
        {"+90:00:01", false, 0, "out of range: degrees from -90 to +90"},
        {"-90.5", false, 0, "out of range: degrees from -90 to +90"},
        {"20:12.5:00", true, 0, "not a right ascension: give degrees (303.5) or hours (20:14:00)"},
        {"-20:12:00", true, 0, "not a right ascension: give degrees (303.5) or hours (20:14:00)"},
        {"20h12x", true, 0, "not a right ascension: give degrees (303.5) or hours (20:14:00)"},
        {"inf", true, 0, "not a right ascension: give degrees (303.5) or hours (20:14:00)"},
        {"", false, 0, "not a declination: give degrees (-5.25) or degrees as +36:30:00"},
        {"+-5", false, 0, "not a declination: give degrees (-5.25) or degrees as +36:30:00"},
        {"36:30:00:00", false, 0, "not a declination: give degrees (-5.25) or degrees as +36:30:00"},
    };
    for (const Case& c : cases) {
        const AngleReading reading = c.rightAscension ? readRightAscension(c.text) : readDeclination(c.text);
        EXPECT_EQ(reading.problem, c.problem) << '"' << c.text << '"';
        if (c.problem.empty()) {
            EXPECT_DOUBLE_EQ(reading.degrees, c.degrees) << '"' << c.text << '"';
        }
    }
    EXPECT_EQ(positionProblem(301.56, 44.46), "");
    EXPECT_EQ(positionProblem(-0.1, 0), "a right ascension out of range (degrees from 0 to less than 360)");
    EXPECT_EQ(positionProblem(0, std::nan("")), "a declination out of range (degrees from -90 to +90)");
}

}  // namespace
