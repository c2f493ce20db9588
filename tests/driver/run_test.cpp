// Whole runs of the built program: loading the observation file, the lack of
// memory, the worked example from the prompt to the report, and the
// improper minimum.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "expected_runs.h"
#include "support/whole_run.h"

namespace kvw::testing {
namespace {

namespace fs = std::filesystem;

RunResult runWithReply(const TempDir& dir, const std::string& reply) {
    RunOptions options;
    options.input = reply;
    return runKvw(dir.path(), options);
}

struct LoadCase {
    const char* name;
    std::string observations;  // the content of obs.dat
    std::string reason;        // "" for a run that reaches the worked report
};

// Every case starts with an older KWEESUM.DAT: a run that fails while loading
// leaves it as it was, since the summary file is opened only for the scan.
TEST(Loading, CompleteObservationsOrAFailure) {
    const std::string tooFew = "Too few observations";
    const std::string rest = "0.25 10.5\n0.5 11.0\n0.75 10.5\n1.0 10.0\n";
    const std::vector<LoadCase> cases = {
        {"header line", "TIME MAG\n" + kWorkedObservations, "Bad real number in item 1 of list input"},
        {"unit letter on a magnitude", "0.0 10.0V\n" + rest, "Bad real number in item 2 of list input"},
        {"zero repeat count", "0*1.0 10.0\n" + rest, "Zero repeat count in item 1 of list input"},
        {"empty file", "", tooFew},
        {"one observation", "0.0 10.0\n", tooFew},
        {"one observation and blank lines", "0.0 10.0\n\n\n", tooFew},
        {"blank lines only", "\n \n\t\n", tooFew},
        {"two commas in a row", "0.0,,10.0\n" + rest, "Null value in item 2 of list input"},
        {"line starting with a comma", ",10.0\n" + rest, "Null value in item 1 of list input"},
        {"slash before the second value", "0.0 /\n" + rest, "Null value in item 2 of list input"},
        {"null repeat before a separator", "2* \n" + rest, "Null value in item 1 of list input"},
        // Only complete pairs count: these all leave the worked example's five.
        {"lone time on the last line", kWorkedObservations + "2.0\n", ""},
        {"comma ending the last line", kWorkedObservations + "2.0,\n", ""},
        {"blank last line", kWorkedObservations + "\n", ""},
        {"blank line between observations", "0.0 10.0\n\n" + rest, ""},
        {"word after the last pair, no final terminator",
         "0.0 10.0\n0.25 10.5\n0.5 11.0\n0.75 10.5\n1.0 10.0 end", ""},
        {"third number ignored", "0.0 10.0 99.0\n" + rest, ""},
        {"CR LF line ends, no final terminator", "0.0\t10.0\r\n0.25,10.5\r\n0.5;11.0\r\n0.75 10.5\r\n1.0 10.0", ""},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("obs.dat", c.observations);
        dir.write("KWEESUM.DAT", kOldSummary);
        const RunResult result = runWithReply(dir, "obs.dat\n");
        if (c.reason.empty()) {
            expectWorkedReport(result);
            EXPECT_EQ(dir.read("KWEESUM.DAT"), kWorkedSummary);
            continue;
        }
        EXPECT_EQ(result.status, 2) << result.errors;
        EXPECT_EQ(result.output, openingScreen());
        expectDiagnosticShape(result);
        if (c.reason == tooFew) {
            EXPECT_EQ(reasonOf(result).rfind(tooFew, 0), 0u) << result.errors;
        } else {
            EXPECT_EQ(reasonOf(result), c.reason) << result.errors;
        }
        EXPECT_EQ(unitAndFileOf(result), "(unit = 1, file = 'obs.dat')") << result.errors;
        EXPECT_EQ(dir.read("KWEESUM.DAT"), kOldSummary);
        EXPECT_EQ(dir.read("obs.dat"), c.observations);
    }
}

TEST(Loading, MisspeltNameMakesAnEmptyFileThatStays) {
    TempDir dir;
    dir.write("obs.dat", kWorkedObservations);
    const RunResult result = runWithReply(dir, "obs.dta\n");
    EXPECT_EQ(result.status, 2) << result.errors;
    EXPECT_EQ(result.output, openingScreen());
    EXPECT_EQ(reasonOf(result).rfind("Too few observations", 0), 0u) << result.errors;
    EXPECT_EQ(unitAndFileOf(result), "(unit = 1, file = 'obs.dta')");
    ASSERT_TRUE(dir.exists("obs.dta"));
    EXPECT_TRUE(fs::is_regular_file(dir / "obs.dta"));
    EXPECT_EQ(fs::file_size(dir / "obs.dta"), 0u);
    EXPECT_FALSE(dir.exists("KWEESUM.DAT"));
}

TEST(Loading, ObservationSourceMustBeARegularFile) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "pipe.dat").c_str(), 0666), 0);
    dir.write("KWEESUM.DAT", kOldSummary);
    for (const std::string name : {"pipe.dat", "/dev/null"}) {
        SCOPED_TRACE(name);
        const RunResult result = runWithReply(dir, name + "\n");
        EXPECT_EQ(result.status, 2) << result.errors;
        EXPECT_EQ(result.output, openingScreen());
        EXPECT_EQ(reasonOf(result), "'" + name + "' is not a regular file") << result.errors;
        EXPECT_EQ(unitAndFileOf(result).rfind("(unit = 1, file = '", 0), 0u) << result.errors;
        EXPECT_EQ(dir.read("KWEESUM.DAT"), kOldSummary);
    }
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.dat"));
}

// 3,000,000 lines need 14 doubles each for the run's tables (times,
// magnitudes, two grids of 2n + 9 points, two tables of 4n + 15 trials):
// about 336 MB, well beyond a 256 MB address space, while counting the lines
// needs only a small read buffer. Under a sanitizer the address-space limit
// cannot work; its allocator refuses single blocks above 64 MB instead (the
// trial tables take 96 MB each).
TEST(Loading, LackOfMemoryForTheTablesIsTheOutOfMemoryExit) {
    constexpr int kLines = 3'000'000;
    TempDir dir;
    std::string lines;
    lines.reserve(kLines * 4);
    for (int line = 0; line < kLines; ++line) {
        lines += "1 2\n";
    }
    dir.write("big.dat", lines);
    lines.clear();
    lines.shrink_to_fit();

    RunOptions options;
    options.input = "big.dat\n";
    options.timeoutSeconds = 60;
    if (sanitizedBuild()) {
        // A sanitizer's allocator cannot run under an address-space limit; it
        // refuses the large tables by size instead (runKvw adds these settings to
        // the inherited ones).
        options.environment.push_back("ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=64");
    } else {
        options.addressSpaceLimit = 256LL << 20;
    }
    const RunResult result = runKvw(dir.path(), options);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 1) << result.errors;
    // The sanitizer's allocator announces the block it refused on the same stream.
    std::string errors;
    std::istringstream errorLines(result.errors);
    for (std::string line; std::getline(errorLines, line);) {
        if (!sanitizedBuild() || line.find("WARNING: AddressSanitizer failed to allocate") == std::string::npos) {
            errors += line + "\n";
        }
    }
    EXPECT_EQ(errors, "Operating system error: Cannot allocate memory\nOut of memory\n");
    EXPECT_EQ(result.errors.back(), '\n');
    EXPECT_EQ(unitAndFileOf(result), "");
    EXPECT_EQ(result.output, openingScreen());
    EXPECT_FALSE(dir.exists("KWEESUM.DAT"));
}

// The tables of the later phases (the segment search, the pair counts) are
// reserved with the others: a run short of memory for them ends before the
// summary file is opened, so none is created. A million observations of an
// eclipse need about 150 MB of tables; 122 MB holds the observations, the grid
// and the trials but not the rest.
TEST(Loading, LackOfMemoryForAnyTableEndsTheRunBeforeTheSummaryFile) {
    constexpr int kLines = 1'000'000;
    TempDir dir;
    std::string lines;
    lines.reserve(kLines * 20);
    char line[40];
    for (int k = 0; k < kLines; ++k) {
        const double x = (k - 600'000) / 150'000.0;
        std::snprintf(line, sizeof line, "%.6f %.4f\n", 2459000.25 + 0.3 * k / kLines, 10 + 0.75 / (1 + x * x));
        lines += line;
    }
    dir.write("big.dat", lines);

    RunOptions options;
    options.input = "big.dat\n";
    options.timeoutSeconds = 60;
    if (sanitizedBuild()) {
        options.environment.push_back("ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=20");
    } else {
        options.addressSpaceLimit = 122LL << 20;
    }
    const RunResult result = runKvw(dir.path(), options);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.status, 1) << result.errors;
    EXPECT_FALSE(dir.exists("KWEESUM.DAT"));
}

TEST(WorkedExample, EveryByteOfTheReportAndTheSummary) {
    // 31 records of 27 bytes: 25 characters and CR LF.
    ASSERT_EQ(kWorkedSummary.size(), 31u * 27u);
    TempDir dir;
    dir.write("CW-CEP.DAT", kWorkedObservations);
    const RunResult result = runWithReply(dir, "CW-CEP.DAT\n");
    expectWorkedReport(result);
    EXPECT_EQ(dir.read("KWEESUM.DAT"), kWorkedSummary);
    EXPECT_EQ(dir.read("CW-CEP.DAT"), kWorkedObservations);
}

TEST(WorkedExample, LongerOldSummaryIsCutToTheNewRecords) {
    TempDir dir;
    dir.write("CW-CEP.DAT", kWorkedObservations);
    std::string old;
    for (int record = 1; record <= 100; ++record) {
        old += "  old record that is longer than the new ones " + std::to_string(record) + "\r\n";
    }
    dir.write("KWEESUM.DAT", old);
    const RunResult result = runWithReply(dir, "CW-CEP.DAT\n");
    expectWorkedReport(result);
    EXPECT_EQ(dir.read("KWEESUM.DAT"), kWorkedSummary);
}

struct ImproperCase {
    const char* name;
    std::string observations;
    std::string summary;
};

// Both curves have their smallest sum in trials K..3K at trial K, the lower
// edge of the search range, so only the improper-minimum line follows the
// prompt, and the run still stops normally with a whole summary file.
TEST(ImproperMinimum, SmallestSumAtTheLowerEdge) {
    // A rising ramp (deepest point last: no crossing of the fainter end level,
    // window T(1)..T(n), nw = 5, K = 8, N = 16, h = 1/16) with a small bump on
    // its first half, which is symmetric about 0.25 = trial K's time. Trial K
    // pairs only points of that half, so its sum is exactly 0, while every
    // later trial folds some of the ramp onto itself. (expected_runs.py)
    const std::string ramp =
        "    1    1     0.01562500\r\n    2    1     0.06250000\r\n    3    2     0.15625000\r\n"
        "    4    2     0.31250000\r\n    5    3     0.29687500\r\n    6    3     0.18750000\r\n"
        "    7    4     0.06250000\r\n    8    4     0.00000000\r\n    9    5     0.07812500\r\n"
        "   10    5     0.25000000\r\n   11    6     0.46875000\r\n   12    6     0.68750000\r\n"
        "   13    7     0.85937500\r\n   14    7     1.06250000\r\n   15    8     1.37500000\r\n"
        "   16    7     0.87500000\r\n   17    7     0.60937500\r\n   18    6     0.56250000\r\n"
        "   19    6     0.71875000\r\n   20    5     1.06250000\r\n   21    5     1.32812500\r\n"
        "   22    4     1.43750000\r\n   23    4     1.31250000\r\n   24    3     0.87500000\r\n"
        "   25    3     0.54687500\r\n   26    2     0.31250000\r\n   27    2     0.15625000\r\n"
        "   28    1     0.06250000\r\n   29    1     0.01562500\r\n   30    0     0.00000000\r\n"
        "   31    0     0.00000000\r\n";
    // A falling ramp of two points: the first is the deepest and sets the
    // level, no crossing exists and the crossing time is T(1), so the window
    // has length 0 (nw = 3, K = 6, 23 trials). No pair passes, every sum is 0,
    // and among equal sums the earliest trial of the range, K, wins.
    std::string flat;
    for (int trial = 1; trial <= 23; ++trial) {
        char record[32];
        std::snprintf(record, sizeof record, "%5d    0     0.00000000\r\n", trial);
        flat += record;
    }
    const std::vector<ImproperCase> cases = {
        {"ramp with a bump", "0.0 10.0\n0.25 10.5\n0.5 10.0\n1.0 11.0\n", ramp},
        {"window of length 0", "0.0 11.0\n1.0 10.0\n", flat},
    };
    for (const ImproperCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("obs.dat", c.observations);
        const RunResult result = runWithReply(dir, "obs.dat\n");
        EXPECT_EQ(result.status, 0) << result.errors;
        EXPECT_EQ(result.output, openingScreen() + "     IMPROPER MINIMUM !!!\r\n");
        EXPECT_EQ(result.errors, "");
        ASSERT_TRUE(dir.exists("KWEESUM.DAT"));
        EXPECT_EQ(dir.read("KWEESUM.DAT"), c.summary);
    }
}

}  // namespace
}  // namespace kvw::testing
