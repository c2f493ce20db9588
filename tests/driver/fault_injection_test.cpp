// Hostile surroundings and hostile input: every run ends with status 0, 1 or
// 2, a clear reason where it fails, in bounded time and memory, and never by
// a signal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "expected_runs.h"
#include "support/whole_run.h"

namespace kvw::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kHundredMegabytes = 100u << 20;

RunResult runOn(const TempDir& dir, const std::string& reply, RunOptions options = {}) {
    options.input = reply;
    options.timeoutSeconds = 300;
    return runKvw(dir.path(), options);
}

TEST(FaultInjection, SummaryFileThatIsADirectory) {
    TempDir dir;
    dir.write("obs.dat", kWorkedObservations);
    fs::create_directory(dir / "KWEESUM.DAT");
    const RunResult result = runOn(dir, "obs.dat\n");
    expectRunFailure(result, "'KWEESUM.DAT' is a directory", "(unit = 1, file = '')");
    EXPECT_TRUE(fs::is_directory(dir / "KWEESUM.DAT"));
}

TEST(FaultInjection, StandardOutputClosed) {
    TempDir dir;
    dir.write("obs.dat", kWorkedObservations);
    RunOptions options;
    options.closeOutput = true;
    const RunResult result = runOn(dir, "obs.dat\n", options);
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.status, 2) << result.errors;
    EXPECT_EQ(reasonOf(result), "Bad file descriptor") << result.errors;
    EXPECT_EQ(unitAndFileOf(result), "(unit = 6, file = 'stdout')") << result.errors;
    // The summary file is complete: only the console was lost, and that is reported.
    EXPECT_EQ(dir.read("KWEESUM.DAT"), kWorkedSummary);
}

TEST(FaultInjection, StandardOutputIsAPipeWithoutReader) {
    TempDir dir;
    dir.write("obs.dat", kWorkedObservations);
    RunOptions options;
    options.brokenOutputPipe = true;
    const RunResult result = runOn(dir, "obs.dat\n", options);
    EXPECT_EQ(result.signal, 0) << "a closed pipe must not end the run silently";
    EXPECT_EQ(result.status, 2) << result.errors;
    EXPECT_EQ(reasonOf(result), "Broken pipe") << result.errors;
    EXPECT_EQ(unitAndFileOf(result), "(unit = 6, file = 'stdout')") << result.errors;
}

struct HostileFile {
    const char* name;
    std::function<std::string()> content;
    int status;
    std::string reason;  // a prefix of the reason; "" for a normal end
};

TEST(FaultInjection, HostileObservationFiles) {
    const std::string tooFew = "Too few observations";
    const std::vector<HostileFile> cases = {
        {"a line of 100 MB of digits without a line end",
         [] { return std::string(kHundredMegabytes, '7'); }, 2, tooFew},
        {"a line of 100 MB of letters without a line end",
         [] { return std::string(kHundredMegabytes, 'x'); }, 2, "Bad real number in item 1 of list input"},
        {"a magnitude of a million digits",
         [] {
             return "0.0 10.0\n0.25 10.5" + std::string(1'000'000, '0') + "1\n0.5 11.0\n0.75 10.5\n1.0 10.0\n";
         },
         0, ""},
        {"NUL bytes", [] { return std::string("\0\0\0 1\n", 6) + kWorkedObservations; }, 2,
         "Bad real number in item 1 of list input"},
        {"a NUL byte inside a number", [] { return std::string("0.0 10\0.0\n", 10) + kWorkedObservations; }, 2,
         "Bad real number in item 2 of list input"},
        {"invalid UTF-8", [] { return "\xff\xfe\xc3\x28 10.0\n" + kWorkedObservations; }, 2,
         "Bad real number in item 1 of list input"},
        {"a repeat count of 200000000",
         [] { return "200000000*0.125\n" + kWorkedObservations; }, 0, ""},
        {"10 million blank lines", [] { return std::string(10'000'000, '\n'); }, 2, tooFew},
    };
    for (const HostileFile& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("obs.dat", c.content());
        const RunResult result = runOn(dir, "obs.dat\n");
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.signal, 0);
        EXPECT_EQ(result.status, c.status) << result.errors;
        if (c.status == 0) {
            EXPECT_EQ(result.errors, "");
            EXPECT_TRUE(dir.exists("KWEESUM.DAT"));
        } else {
            expectDiagnosticShape(result);
            EXPECT_EQ(reasonOf(result).rfind(c.reason, 0), 0u) << result.errors;
            EXPECT_FALSE(dir.exists("KWEESUM.DAT"));
        }
        if (!sanitizedBuild()) {
            // Long numbers and long lines are read in bounded memory.
            EXPECT_LT(result.peakMemoryKb, 64 * 1024) << c.name;
        }
    }
}

// Magnitudes written with a million digits are read as their nearest doubles:
// here exactly 10.5 (10.5 and a last digit a million places on, and 105 times
// 10^1000000 times 10^-1000001), so the run is the worked example, byte for byte.
TEST(FaultInjection, MillionDigitNumberIsCorrectlyRounded) {
    TempDir dir;
    dir.write("obs.dat", "0.0 10.0\n0.25 10.5" + std::string(1'000'000, '0') + "1\n0.5 11.0\n0.75 105" +
                             std::string(1'000'000, '0') + "e-1000001\n1.0 10.0\n");
    const RunResult result = runOn(dir, "obs.dat\n");
    expectWorkedReport(result);
    EXPECT_EQ(dir.read("KWEESUM.DAT"), kWorkedSummary);
}

}  // namespace
}  // namespace kvw::testing
