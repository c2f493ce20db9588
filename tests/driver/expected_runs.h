// Whole runs shared by the driver tests: the worked example's observation
// file, the report it gives and its summary file, and the checks of a run
// that ends with an input/output failure.
//
// The summary records were derived independently with exact rational
// arithmetic by expected_runs.py in this directory (every value of this
// dyadic curve is exact in binary floating point too).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "support/whole_run.h"

namespace kvw::testing {

// Five observations of a symmetric hump: K = 8, N = 16, h = 0.0625, 31 trials.
inline const std::string kWorkedObservations = "0.0 10.0\n0.25 10.5\n0.5 11.0\n0.75 10.5\n1.0 10.0\n";

// Everything standard output gets after the prompt: two empty lines and the
// two report lines, whose value fields both occupy columns 37 to 50.
inline const std::string kWorkedReport =
    "\r\n"
    "\r\n"
    "  MEAN VALUE=-0.000130 MINIMUM TIME=      0.501042\r\n"
    "                      MINIMUM ERROR=      0.002083\r\n";

// Trial number (I5), pair count (I5), one blank, symmetry sum (F14.8).
inline const std::string kWorkedSummary =
    "    1    1     0.01562500\r\n"
    "    2    1     0.06250000\r\n"
    "    3    2     0.15625000\r\n"
    "    4    2     0.31250000\r\n"
    "    5    3     0.54687500\r\n"
    "    6    3     0.87500000\r\n"
    "    7    4     1.31250000\r\n"
    "    8    4     1.87500000\r\n"
    "    9    5     2.07812500\r\n"
    "   10    5     2.00000000\r\n"
    "   11    6     1.71875000\r\n"
    "   12    6     1.31250000\r\n"
    "   13    7     0.85937500\r\n"
    "   14    7     0.43750000\r\n"
    "   15    8     0.12500000\r\n"
    "   16    7     0.00000000\r\n"
    "   17    7     0.10937500\r\n"
    "   18    6     0.37500000\r\n"
    "   19    6     0.71875000\r\n"
    "   20    5     1.06250000\r\n"
    "   21    5     1.32812500\r\n"
    "   22    4     1.43750000\r\n"
    "   23    4     1.31250000\r\n"
    "   24    3     0.87500000\r\n"
    "   25    3     0.54687500\r\n"
    "   26    2     0.31250000\r\n"
    "   27    2     0.15625000\r\n"
    "   28    1     0.06250000\r\n"
    "   29    1     0.01562500\r\n"
    "   30    0     0.00000000\r\n"
    "   31    0     0.00000000\r\n";

// An older summary file, for runs that must leave it alone.
inline const std::string kOldSummary = "    1    9     9.99999999\r\n";

// A run that ends with the input/output failure exit: status 2, nothing on
// standard output after the prompt, the reason and the "(unit = U, file = 'F')"
// part of the location line.
// Two lines on the error stream, each ended by a bare line feed: the
// location line and the reason line.
inline void expectDiagnosticShape(const RunResult& result) {
    const std::string& text = result.errors;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    EXPECT_EQ(text.find('\r'), std::string::npos) << text;
    const std::size_t end = text.find('\n');
    ASSERT_NE(end, std::string::npos) << text;
    const std::string location = text.substr(0, end);
    unsigned line = 0;
    char source[256] = "";
    int unit = -1;
    int consumed = 0;
    std::sscanf(location.c_str(), "At line %u of file %255s (unit = %d, file = '%n", &line, source, &unit,
                &consumed);
    EXPECT_GT(consumed, 0) << location;
    EXPECT_GT(line, 0u) << location;
    EXPECT_EQ(location.substr(location.size() - 2), "')") << location;
    EXPECT_EQ(text.substr(end + 1).rfind("kvw run-time error: ", 0), 0u) << text;
}

inline void expectRunFailure(const RunResult& result, const std::string& reason, const std::string& unitAndFile) {
    EXPECT_EQ(result.status, 2) << result.errors;
    EXPECT_EQ(result.output, openingScreen());
    expectDiagnosticShape(result);
    EXPECT_EQ(reasonOf(result), reason) << result.errors;
    EXPECT_EQ(unitAndFileOf(result), unitAndFile) << result.errors;
}

// A run that goes from the prompt to the worked example's report.
inline void expectWorkedReport(const RunResult& result) {
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, openingScreen() + kWorkedReport);
    EXPECT_EQ(result.errors, "");
}

}  // namespace kvw::testing
