// AAVSO extended files read in memory: the standard's layout, the layout of
// observers' tools, filters, stars and bad input.
#include <limits>

#include "read_case.h"

namespace {

using namespace kvw::readers;
using namespace kvw::readers::testing;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

const std::string kStandardHead =
    "#TYPE=EXTENDED\n#OBSCODE=TST01\n#SOFTWARE=test\n#DELIM=,\n#DATE=JD\n#OBSTYPE=CCD\n"
    "#NAME,DATE,MAG,MERR,FILT,TRANS,MTYPE,CNAME,CMAG,KNAME,KMAG,AMASS,GROUP,CHART,NOTES\n";

std::string row(const char* date, const char* mag, const char* error, const char* filter,
                const char* star = "SS CYG") {
    return std::string(star) + "," + date + "," + mag + "," + error + "," + filter +
           ",NO,STD,ENSEMBLE,na,105,10.07,na,na,1234ABC,na\n";
}

TEST(AavsoExtended, Layouts) {
    expectReads(readAavsoExtended, "run.txt",
                {
                    {"standard, upper limit, na errors",
                     kStandardHead + row("2450702.2", "11.2", "na", "V") + row("2450702.1", "11.1", "na", "V") +
                         row("2450702.3", "<11.5", "na", "V") + row("2450702.4", "11.4", "na", "V"),
                     {}, {2450702.1, 2450702.2, 2450702.4}, {11.1, 11.2, 11.4}, {},
                     {"left out 1 point with an upper limit (<) as magnitude",
                      "sorted by time: the points were not in time order"}},
                    {"tab named, no #NAME line: the standard order",
                     "#TYPE=Extended\r\n#DELIMITER=tab\r\nX\t2450702.1\t11.1\t0.01\tV\r\nX\t2450702.2\t11.2\tna\tV\r\n",
                     {}, {2450702.1, 2450702.2}, {11.1, 11.2}, {0.01, kNaN}, {}},
                    {"band picks a filter",
                     kStandardHead + row("2450702.1", "11.1", "0.01", "V") + row("2450702.2", "12.1", "0.02", "B") +
                         row("2450702.3", "11.3", "0.03", "v"),
                     {.band = "V"}, {2450702.1, 2450702.3}, {11.1, 11.3}, {0.01, 0.03},
                     {"left out 1 point in the filter B"}},
                    {"observers' tool: ISO dates, notes holding the delimiter",
                     "#TYPE=EXTENDED\n#DELIMITER=;\n#DATE=2026-08-12\n#NAME;DATE-OBS;MAG;MAG_ERR;FILTER;NOTES\n"
                     "V1;2000-01-01 12:00:00.000;10.5;0.01;V;\"RMS=0.7; N=3\"\n"
                     "V1;2000-01-01 18:00:00.000;10.6;0.02;V;RMS=0.7; N=3\n",
                     {}, {2451545.0, 2451545.25}, {10.5, 10.6}, {0.01, 0.02}, {}},
                });
}

TEST(AavsoExtended, BadInput) {
    const std::string twoFilters =
        kStandardHead + row("2450702.1", "11.1", "na", "V") + row("2450702.2", "12.1", "na", "B") +
        row("2450702.3", "11.3", "na", "V");
    expectFails(readAavsoExtended, "run.txt",
                {
                    {"several filters", twoFilters, {},
                     "run.txt: several filters (V: 2 points, B: 1 point): choose one with --band"},
                    {"band absent", twoFilters, {.band = "R"},
                     R"(run.txt: no point in the filter "R" (the filters are V: 2 points, B: 1 point))"},
                    {"several stars", kStandardHead + row("2450702.1", "11.1", "na", "V") +
                                          row("2450702.2", "11.2", "na", "V", "U GEM"),
                     {}, "run.txt: several stars (SS CYG, U GEM): give each star a file of its own"},
                    {"bad date", kStandardHead + row("2450702.1", "11.1", "na", "V") + row("2450702.x", "11.2", "na", "V"),
                     {}, R"(run.txt:9: column 2 (DATE): cannot read "2450702.x" as a number or a date)"},
                    {"bad error", kStandardHead + row("2450702.1", "11.1", "0.0.1", "V"), {},
                     R"(run.txt:8: column 4 (MERR): cannot read "0.0.1" as a number)"},
                    {"short row", kStandardHead + "SS CYG,2450702.1\n", {},
                     "run.txt:8: column 5 (FILT): missing (the row has 2 fields)"},
                    {"delimiter", "#TYPE=EXTENDED\n#DELIM=comma\n", {},
                     R"(run.txt:2: cannot read "comma" as a delimiter (one character, "tab" or an ASCII code))"},
                    {"no date column", "#TYPE=EXTENDED\n#NAME,MAG\nX,1\n", {},
                     "run.txt: no date column (looked for DATE and the like)"},
                });
}

}  // namespace
