// Text tables read in memory: layouts, columns, dates, fluxes, and the exact
// message of each bad input.
#include <cmath>
#include <limits>

#include "read_case.h"

namespace {

using namespace kvw::readers;
using namespace kvw::readers::testing;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
// 2.5/ln 10 * 0.01 rounded once: the magnitude error of a 1 % flux error.
constexpr double kOnePercentInMagnitudes = 0.010857362047581295;

TEST(TextTable, Layouts) {
    expectReads(readTextTable, "curve.txt",
                {
                    {"blanks, tabs, comments, blank lines", "# c\n\n 1.5  10.0\n  # c\n2.5\t\t11.0 \n", {},
                     {1.5, 2.5}, {10, 11}, {}, {}},
                    {"semicolons", "1;10\n2 ; 11\n", {}, {1, 2}, {10, 11}, {}, {}},
                    {"separators mixed without a header", "1 10\n2,11\n3 ;\t12\n4\t,13 x\n", {}, {1, 2, 3, 4},
                     {10, 11, 12, 13}, {}, {}},
                    {"commas, header, empty fields", "time,mag,err,note\n1,10,0.1,\n,12,,\n2,11,,x;y\n", {}, {1, 2},
                     {10, 11}, {0.1, kNaN}, {"left out 1 point with a missing time (empty, na or nan)"}},
                    {"quoted fields", "\"time\",\"mag\"\n1,\"10\"\n2,11\n", {}, {1, 2}, {10, 11}, {}, {}},
                    {"CR LF", "1 10\r\n2 11\r\n", {}, {1, 2}, {10, 11}, {}, {}},
                    {"lone CR, no last line end", "1 10\r2 11", {}, {1, 2}, {10, 11}, {}, {}},
                    {"byte-order mark and header", "\xEF\xBB\xBFjd mag\n1 10\n2 11\n", {}, {1, 2}, {10, 11}, {}, {}},
                    {"exponents and signs", "+1e0 -1.5D1\n.2E1 1.\n", {}, {1, 2}, {-15, 1}, {}, {}},
                    {"stable sort", "3 1\n1 2\n3 3\n2 4\n1 5\n", {}, {1, 1, 2, 3, 3}, {2, 5, 4, 1, 3}, {},
                     {"sorted by time: the points were not in time order"}},
                    {"missing values counted", "t m\n1 na\n2 10\nNaN 3\n3 11\n", {}, {2, 3}, {10, 11}, {},
                     {"left out 1 point with a missing magnitude (empty, na or nan)",
                      "left out 1 point with a missing time (empty, na or nan)"}},
                });
}

TEST(TextTable, Columns) {
    expectReads(readTextTable, "curve.txt",
                {
                    {"by name and number", "a b c\n1 2 3\n4 5 6\n", {.timeColumn = "C", .magColumn = "2"}, {3, 6},
                     {2, 5}, {}, {}},
                    {"by number without header", "1 2 3\n4 5 6\n", {.timeColumn = "2", .magColumn = "3", .errorColumn = "1"},
                     {2, 5}, {3, 6}, {1, 4}, {}},
                    {"named defaults", "name,Time (BTJD),flux,mag,flux_err,mag_err\nx,1,5,10,0.5,0.1\nx,2,6,11,0.6,0.2\n",
                     {}, {1, 2}, {10, 11}, {0.1, 0.2}, {}},
                    {"flux by name", "bjd_tdb rel_flux merr flux_err\n1 1 9 0.01\n2 10 9 0\n", {}, {1, 2}, {0, -2.5},
                     {kOnePercentInMagnitudes, 0}, {}},
                    {"first other column", "value hjd\n10 1\n11 2\n", {}, {1, 2}, {10, 11}, {}, {}},
                    {"flux option, non-positive counted", "1 1 0.01\n2 100 0\n3 0 1\n4 -1 1\n",
                     {.fluxColumn = "2", .errorColumn = "3"}, {1, 2}, {0, -5}, {kOnePercentInMagnitudes, 0},
                     {"left out 2 points with a flux of zero or less"}},
                });
}

TEST(TextTable, IsoDatesAsJulianDates) {
    expectReads(readTextTable, "dates.txt",
                {
                    {"T, and a blank splitting date and time", "2000-01-01T12:00:00 10\n2000-01-01 18:00:00Z 11\n", {},
                     {2451545.0, 2451545.25}, {10, 11}, {}, {}},
                    {"date and time named apart", "date time mag\n2000-01-01 12:00 10\n2000-01-02 00:00:00.0 11\n", {},
                     {2451545.0, 2451545.5}, {10, 11}, {}, {}},
                    {"commas, fractional seconds, Z, date alone",
                     "1858-11-17T00:00:00.000Z,1\n2026-07-29 21:02:42.824,2\n2024-02-29,3\n", {},
                     {2400000.5, 2460369.5, 2461251.3768845368}, {1, 3, 2}, {},
                     {"sorted by time: the points were not in time order"}},
                });
}

TEST(TextTable, BadInputNamesFileLineAndColumn) {
    expectFails(readTextTable, "curve.txt",
                {
                    {"letter in a number", "1 10\n2 12.3x\n", {},
                     R"(curve.txt:2: column 2 (magnitude): cannot read "12.3x" as a number)"},
                    {"header name in message", "# c\r\ntime,mag\r\n1,10\r\n2,12.3x\r\n", {},
                     R"(curve.txt:4: column 2 (mag): cannot read "12.3x" as a number)"},
                    {"short row", "1 10\n2\n", {}, "curve.txt:2: column 2 (magnitude): missing (the row has 1 field)"},
                    {"month", "2026-13-01 10\n", {},
                     R"(curve.txt:1: column 1 (time): cannot read "2026-13-01" as a date (month out of range))"},
                    {"day", "2001-02-29T00:00 1\n", {},
                     R"(curve.txt:1: column 1 (time): cannot read "2001-02-29T00:00" as a date (day out of range))"},
                    {"hex", "0x1p3 1\n", {}, R"(curve.txt:1: column 1 (time): cannot read "0x1p3" as a number or a date)"},
                    {"infinity", "1 inf\n", {}, R"(curve.txt:1: column 2 (magnitude): cannot read "inf" as a number)"},
                    {"range", "1 1e999\n", {},
                     R"(curve.txt:1: column 2 (magnitude): cannot read "1e999" as a number (out of range))"},
                    {"control byte", "1 1\x01\n", {}, R"(curve.txt:1: column 2 (magnitude): cannot read "1\x01" as a number)"},
                    {"name without header", "1 10\n2 11\n", {.magColumn = "mag"},
                     R"(curve.txt: no column named "mag": the file has no header row)"},
                    {"unknown name", "t,m\n1,2\n", {.fluxColumn = "flux"},
                     R"(curve.txt: no column named "flux" (the columns are t, m))"},
                    {"column 0", "1 2\n", {.timeColumn = "0"}, "curve.txt: no column 0 (columns are numbered from 1)"},
                    {"both kinds", "1 2\n", {.magColumn = "2", .fluxColumn = "2"},
                     "curve.txt: give a magnitude column or a flux column, not both"},
                    {"empty", "", {}, "curve.txt: no point to time, at least 2 are needed"},
                    {"one point", "# c\n1 10\n", {}, "curve.txt: only 1 point to time, at least 2 are needed"},
                    {"fluxes left out", "1 -1\n2 0\n3 na\n", {.fluxColumn = "2"},
                     "curve.txt: no point to time, at least 2 are needed (left out 2 points with a flux of zero or "
                     "less; left out 1 point with a missing flux (empty, na or nan))"},
                });
}

}  // namespace
