// The time scale and the star's position each format states: text tables,
// AAVSO headers and dates, FITS keywords, and the real files of tests/data.
#include <optional>

#include "read_case.h"
#include "support/whole_run.h"
#include "support/write_fits.h"

namespace {

using namespace kvw::readers;
using kvw::timescale::TimeScale;

struct ScaleCase {
    const char* what;
    std::string content;
    TimeScale scale;
    std::string source;
    std::vector<double> times;  // empty: not checked
    std::vector<std::string> notes;
};

const std::string kAavsoHead = "#TYPE=EXTENDED\n#DELIM=,\n#NAME,DATE,MAG,MERR,FILT\n";

TEST(TimeScale, TextAndAavso) {
    const std::vector<ScaleCase> cases = {
        {"table of numbers", "2450702.1 11\n2450702.2 12\n", TimeScale::unknown, "", {}, {}},
        {"table of ISO dates", "2000-01-01T12:00:00 11\n2000-01-01T18:00:00 12\n", TimeScale::jdUtc,
         "calendar dates", {2451545.0, 2451545.25}, {}},
        {"dates and numbers", "2000-01-01T12:00:00 11\n2451545.25 12\n", TimeScale::unknown, "", {},
         {"the time column mixes calendar dates (UTC) with numbers of no stated scale: the time scale is unknown"}},
        {"#DATE=JD", "#DATE=JD\n" + kAavsoHead + "X,2450702.1,11,na,V\nX,2450702.2,12,na,V\n", TimeScale::jdUtc,
         "#DATE=JD", {}, {}},
        {"#DATE=hjd", "#DATE=hjd\n" + kAavsoHead + "X,2450702.1,11,na,V\nX,2450702.2,12,na,V\n", TimeScale::hjdUtc,
         "#DATE=hjd", {}, {}},
        {"#DATE=BJD-TDB", "#DATE=BJD-TDB\n" + kAavsoHead + "X,2450702.1,11,na,V\nX,2450702.2,12,na,V\n",
         TimeScale::bjdTdb, "#DATE=BJD-TDB", {}, {}},
        {"#DATE=BJD", "#DATE=BJD\n" + kAavsoHead + "X,2450702.1,11,na,V\nX,2450702.2,12,na,V\n", TimeScale::unknown,
         "", {}, {"#DATE=BJD does not say whether in TDB or UTC: the time scale is unknown (--time-scale bjd declares "
                  "BJD_TDB)"}},
        {"#DATE=EXCEL: 12 AM is midnight, 12 PM noon, no meridiem a 24-hour clock",
         "#DATE=EXCEL\n" + kAavsoHead +
             "X,1/1/2000 12:00:00 p.m.,11,na,V\nX,01/02/2000 12:00 AM,12,na,V\nX,1/2/2000 18:00:00.5,13,na,V\n"
             "X,1/3/2000,14,na,V\n",
         TimeScale::jdUtc, "#DATE=EXCEL", {2451545.0, 2451545.5, 2451546.2500057872, 2451546.5}, {}},
        {"the report's date in #DATE, ISO dates", "#DATE=2026-08-12\n" + kAavsoHead +
             "X,2026-07-29 21:02:42.824,11,na,V\nX,2026-07-29 21:03:39.824,12,na,V\n",
         TimeScale::jdUtc, "calendar dates", {}, {}},
    };
    for (const ScaleCase& c : cases) {
        const bool aavso = c.content.find("#TYPE=EXTENDED") != std::string::npos;
        const LightCurve curve =
            aavso ? readAavsoExtended(c.content, "run.txt", {}) : readTextTable(c.content, "run.txt", {});
        EXPECT_EQ(curve.timeScale, c.scale) << c.what;
        EXPECT_EQ(curve.timeScaleSource, c.source) << c.what;
        EXPECT_EQ(curve.notes, c.notes) << c.what;
        EXPECT_FALSE(curve.position) << c.what;
        if (!c.times.empty()) {
            EXPECT_EQ(curve.times, c.times) << c.what;
        }
    }
}

TEST(TimeScale, DatesAgainstTheHeader) {
    kvw::readers::testing::expectFails(
        readAavsoExtended, "run.txt",
        {
            {"ISO dates under #DATE=HJD", "#DATE=HJD\n" + kAavsoHead + "X,2026-07-29 21:02,11,na,V\nX,2450702.2,12,na,V\n",
             {}, "run.txt: #DATE=HJD says the times are HJD_UTC, but calendar dates are UTC: correct the header or "
                 "the dates"},
            {"a number under #DATE=EXCEL", "#DATE=EXCEL\n" + kAavsoHead + "X,2450702.1,11,na,V\n", {},
             "run.txt:5: column 2 (DATE): cannot read \"2450702.1\" as an EXCEL date (month/day/year h:mm:ss AM)"},
            {"13 PM", "#DATE=EXCEL\n" + kAavsoHead + "X,1/1/2000 13:00 PM,11,na,V\n", {},
             "run.txt:5: column 2 (DATE): cannot read \"1/1/2000 13:00 PM\" as an EXCEL date (month/day/year h:mm:ss "
             "AM)"},
        });
}

TEST(TimeScale, Fits) {
    const kvw::testing::TempDir directory;
    const std::string path = (directory / "tess.fits").string();
    struct FitsCase {
        const char* what;
        const char* system;
        const char* reference;
        std::vector<double> position;
        TimeScale scale;
        std::optional<kvw::timescale::SkyPosition> star;
        std::vector<std::string> notes;
    };
    const std::vector<FitsCase> cases = {
        {"TDB at the barycentre", "TDB", "SOLARSYSTEM", {303.0, -36.5}, TimeScale::bjdTdb,
         kvw::timescale::SkyPosition{303.0, -36.5}, {}},
        {"UTC here", "UTC", "LOCAL", {}, TimeScale::unknown, std::nullopt,
         {"the LIGHTCURVE table's TIMESYS = \"UTC\" and TIMEREF = \"LOCAL\" are not TDB at the solar system's "
          "barycentre: the time scale is unknown"}},
        {"no keywords, a position out of range", nullptr, nullptr, {360.5, 10}, TimeScale::unknown, std::nullopt,
         {"the LIGHTCURVE table has no TIMESYS and TIMEREF keywords: the time scale is unknown",
          "the star's position (RA_OBJ, DEC_OBJ) is not used: a right ascension out of range (degrees from 0 to less "
          "than 360)"}},
    };
    for (const FitsCase& c : cases) {
        kvw::testing::FitsLightCurve written;
        written.times = {1, 2};
        written.fluxes = {100, 10};
        written.timeSystem = c.system;
        written.timeReference = c.reference;
        written.position = c.position;
        kvw::testing::writeFitsLightCurve(path, written);
        const LightCurve curve = readLightCurve(path, {}, readFitsLightCurve);
        EXPECT_EQ(curve.timeScale, c.scale) << c.what;
        EXPECT_EQ(curve.notes, c.notes) << c.what;
        ASSERT_EQ(curve.position.has_value(), c.star.has_value()) << c.what;
        if (c.star) {
            EXPECT_EQ(curve.position->rightAscension, c.star->rightAscension) << c.what;
            EXPECT_EQ(curve.position->declination, c.star->declination) << c.what;
        }
    }
    // A real Kepler file: the LIGHTCURVE table's keywords.
    const LightCurve kepler = readLightCurve(std::string(KVW_TEST_DATA) + "/dip_llc.fits", {}, readFitsLightCurve);
    EXPECT_EQ(kepler.timeScale, TimeScale::bjdTdb);
    EXPECT_EQ(kepler.timeScaleSource, "TIMESYS = 'TDB' and TIMEREF = 'SOLARSYSTEM'");
    ASSERT_TRUE(kepler.position);
    EXPECT_EQ(kepler.position->rightAscension, 301.564377);
    EXPECT_EQ(kepler.position->declination, 44.456875);
}

}  // namespace
