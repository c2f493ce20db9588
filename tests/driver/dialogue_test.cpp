// Whole runs of the built program: the opening screen, the reply to the
// prompt, files the run may not use, and a standard output that refuses bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "driver/run_program.h"
#include "expected_runs.h"
#include "support/whole_run.h"

namespace kvw::testing {
namespace {

namespace fs = std::filesystem;

const std::string kPrompt = "   ENTER INPUT FILE ! (EG.:CW-CEP.DAT) \r\n";

TEST(OpeningScreen, IsBlankScreenIdentificationEmptyLineAndPrompt) {
    TempDir dir;
    const RunResult result = runKvw(dir.path(), {});  // the reply never comes
    const std::string& out = result.output;

    // "(/////////////////////////)": 25 slashes and the end of the statement.
    std::string blankScreen;
    for (int line = 0; line < 26; ++line) {
        blankScreen += "\r\n";
    }
    ASSERT_EQ(out.substr(0, blankScreen.size()), blankScreen);

    // The wording after "(version) " is ours; the shape of the two lines is fixed:
    // a free-format record of a 65-character text is a blank and the text.
    std::vector<std::string> identification;
    std::size_t at = blankScreen.size();
    for (int line = 0; line < 2; ++line) {
        const std::size_t end = out.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        identification.push_back(out.substr(at, end - at));
        at = end + 2;
    }
    for (const std::string& line : identification) {
        EXPECT_EQ(line.size(), 66u) << line;
        EXPECT_EQ(line.rfind("  (version) ", 0), 0u) << line;
        EXPECT_NE(line[12], ' ') << "the wording follows the eleven characters at once: " << line;
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    }
    EXPECT_NE(identification[0], identification[1]);
    EXPECT_EQ(driver::kIdentificationLine1.size(), 65u);
    EXPECT_EQ(driver::kIdentificationLine2.size(), 65u);
    EXPECT_EQ(" " + driver::kIdentificationLine1, identification[0]);
    EXPECT_EQ(" " + driver::kIdentificationLine2, identification[1]);

    // "(A39 )" right-aligns the 38-character text: 39 characters, then CR LF.
    EXPECT_EQ(kPrompt.size(), 39u + 2u);
    const std::string expected =
        blankScreen + identification[0] + "\r\n" + identification[1] + "\r\n" + "\r\n" + kPrompt;
    EXPECT_EQ(out, expected);
    EXPECT_EQ(out.size(), 52u + 2 * 68u + 2u + 41u);
    EXPECT_EQ(openingScreen(), expected);
}

// Outcomes of a run as far as the tables check them.
enum class Summary { absent, worked, untouched };

void expectSummary(const TempDir& dir, Summary summary) {
    switch (summary) {
        case Summary::absent:
            EXPECT_FALSE(dir.exists("KWEESUM.DAT"));
            break;
        case Summary::worked:
            ASSERT_TRUE(dir.exists("KWEESUM.DAT"));
            EXPECT_EQ(dir.read("KWEESUM.DAT"), kWorkedSummary);
            break;
        case Summary::untouched:
            ASSERT_TRUE(dir.exists("KWEESUM.DAT"));
            EXPECT_EQ(dir.read("KWEESUM.DAT"), kOldSummary);
            break;
    }
}

struct ReplyCase {
    const char* name;
    std::string reply;
    bool closeInput;
    std::vector<std::pair<std::string, std::string>> files;  // made before the run
    std::vector<std::string> directories;
    // status 0: the worked report and summary; otherwise these:
    int status;
    std::string reason;  // a prefix when it ends in ':'
    std::string unitAndFile;
    std::string emptyFileMade;  // a file the run must have created empty
    std::string notMade;        // a name the run must not have created
};

TEST(Reply, NamesTheObservationFile) {
    const std::string tooFew = "Too few observations:";
    const std::vector<ReplyCase> cases = {
        {"end of input at the prompt", "", false, {}, {}, 2, "End of file", "(unit = 5, file = 'stdin')", "", ""},
        {"standard input closed", "", true, {}, {}, 2, "End of file", "(unit = 5, file = 'stdin')", "", ""},
        {"empty reply", "\n", false, {}, {}, 2, "File '' does not exist", "(unit = 1, file = '')", "", ""},
        {"blank reply", "      \n", false, {}, {}, 2, "File '' does not exist", "(unit = 1, file = '')", "", ""},
        {"plain name", "CW-CEP.DAT\n", false, {{"CW-CEP.DAT", kWorkedObservations}}, {}, 0, "", "", "", ""},
        {"last line without terminator", "CW-CEP.DAT", false, {{"CW-CEP.DAT", kWorkedObservations}}, {}, 0, "",
         "", "", ""},
        {"reply ending in CR LF", "CW-CEP.DAT\r\n", false, {{"CW-CEP.DAT", kWorkedObservations}}, {}, 0, "", "",
         "", "CW-CEP.DAT\r"},
        {"trailing blanks dropped", "CW-CEP.DAT    \n", false, {{"CW-CEP.DAT", kWorkedObservations}}, {}, 0, "",
         "", "", ""},
        {"leading blanks kept", "  obs.dat\n", false,
         {{"  obs.dat", kWorkedObservations}, {"obs.dat", "TIME MAG\n"}}, {}, 0, "", "", "", ""},
        {"20 characters cut to 15, file found", "LIGHTCURVE12345ABCDE\n", false,
         {{"LIGHTCURVE12345", kWorkedObservations}}, {}, 0, "", "", "", "LIGHTCURVE12345ABCDE"},
        {"16 characters cut to 15, file made", "ABCDEFGHIJKLMNOP\n", false, {}, {}, 2, tooFew,
         "(unit = 1, file = 'ABCDEFGHIJKLMNO')", "ABCDEFGHIJKLMNO", "ABCDEFGHIJKLMNOP"},
        {"the summary file itself, read before it is rewritten", "KWEESUM.DAT\n", false,
         {{"KWEESUM.DAT", kWorkedObservations}}, {}, 0, "", "", "", ""},
        {"directory", "sub\n", false, {}, {"sub"}, 2, "'sub' is a directory", "(unit = 1, file = '')", "", ""},
        {"missing directory", "nodir/obs.dat\n", false, {}, {}, 2, "File 'nodir/obs.dat' does not exist",
         "(unit = 1, file = '')", "", "nodir"},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        for (const auto& [name, bytes] : c.files) {
            dir.write(name, bytes);
        }
        for (const std::string& name : c.directories) {
            fs::create_directory(dir / name);
        }
        RunOptions options;
        options.input = c.reply;
        options.closeInput = c.closeInput;
        const RunResult result = runKvw(dir.path(), options);
        if (c.status == 0) {
            expectWorkedReport(result);
            expectSummary(dir, Summary::worked);
        } else {
            EXPECT_EQ(result.status, c.status) << result.errors;
            EXPECT_EQ(result.output, openingScreen());
            expectDiagnosticShape(result);
            if (c.reason.back() == ':') {
                EXPECT_EQ(reasonOf(result).rfind(c.reason, 0), 0u) << result.errors;
            } else {
                EXPECT_EQ(reasonOf(result), c.reason) << result.errors;
            }
            EXPECT_EQ(unitAndFileOf(result), c.unitAndFile) << result.errors;
            expectSummary(dir, Summary::absent);
        }
        if (!c.emptyFileMade.empty()) {
            ASSERT_TRUE(dir.exists(c.emptyFileMade));
            EXPECT_EQ(fs::file_size(dir / c.emptyFileMade), 0u);
        }
        if (!c.notMade.empty()) {
            EXPECT_FALSE(dir.exists(c.notMade));
        }
    }
}

// Runs as an unprivileged user (uid/gid 65534 when the tests run as root),
// so that the permission bits set here are enforced.
struct PermissionCase {
    const char* name;
    mode_t observationMode;
    bool oldSummary;  // an existing KWEESUM.DAT, with this mode
    mode_t summaryMode;
    bool readOnlyDirectory;
    int status;
    std::string reason;
    std::string unitAndFile;
    Summary summary;
};

TEST(Permissions, OpenFallsBackOrFails) {
    const std::vector<PermissionCase> cases = {
        {"observations mode 000", 0000, false, 0, false, 2, "Permission denied trying to open file 'obs.dat'",
         "(unit = 1, file = '')", Summary::absent},
        {"observations read-only: opened for reading", 0444, false, 0, false, 0, "", "", Summary::worked},
        {"observations write-only: opened for writing", 0222, false, 0, false, 2,
         "Cannot read from file opened for WRITE", "(unit = 1, file = 'obs.dat')", Summary::absent},
        {"summary read-only: opened for reading", 0644, true, 0444, false, 2,
         "Cannot write to file opened for READ", "(unit = 1, file = 'KWEESUM.DAT')", Summary::untouched},
        {"summary cannot be made in a read-only directory", 0644, false, 0, true, 2,
         "Permission denied trying to open file 'KWEESUM.DAT'", "(unit = 1, file = '')", Summary::absent},
    };
    for (const PermissionCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.write("obs.dat", kWorkedObservations);
        fs::permissions(dir / "obs.dat", static_cast<fs::perms>(c.observationMode));
        if (c.oldSummary) {
            dir.write("KWEESUM.DAT", kOldSummary);
            fs::permissions(dir / "KWEESUM.DAT", static_cast<fs::perms>(c.summaryMode));
        }
        if (c.readOnlyDirectory) {
            fs::permissions(dir.path(), static_cast<fs::perms>(0555));
        }
        RunOptions options;
        options.input = "obs.dat\n";
        options.unprivileged = true;
        const RunResult result = runKvw(dir.path(), options);
        if (c.status == 0) {
            expectWorkedReport(result);
        } else {
            expectRunFailure(result, c.reason, c.unitAndFile);
        }
        expectSummary(dir, c.summary);
        // The observation file is used as it is, whatever access the open obtained.
        fs::permissions(dir / "obs.dat", fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(dir.read("obs.dat"), kWorkedObservations);
    }
}

TEST(OutputFailure, FullDeviceOnStandardOutputEndsTheRun) {
    TempDir dir;
    dir.write("CW-CEP.DAT", kWorkedObservations);
    RunOptions options;
    options.input = "CW-CEP.DAT\n";
    options.outputPath = "/dev/full";
    const RunResult result = runKvw(dir.path(), options);
    EXPECT_EQ(result.status, 2) << result.errors;
    EXPECT_EQ(result.output, "");
    expectDiagnosticShape(result);
    EXPECT_EQ(reasonOf(result), "No space left on device") << result.errors;
    EXPECT_EQ(unitAndFileOf(result), "(unit = 6, file = 'stdout')") << result.errors;
    // Every other connection is still closed in order: the summary file is whole.
    expectSummary(dir, Summary::worked);
}

TEST(OutputFailure, FullDeviceAsSummaryFileEndsTheRunAfterTheReport) {
    TempDir dir;
    dir.write("CW-CEP.DAT", kWorkedObservations);
    fs::create_symlink("/dev/full", dir / "KWEESUM.DAT");
    RunOptions options;
    options.input = "CW-CEP.DAT\n";
    const RunResult result = runKvw(dir.path(), options);
    EXPECT_EQ(result.status, 2) << result.errors;
    // The summary records wait in the stream buffer until the final close, so
    // the report is printed and standard output is still handed over.
    EXPECT_EQ(result.output, openingScreen() + kWorkedReport);
    expectDiagnosticShape(result);
    EXPECT_EQ(reasonOf(result), "No space left on device") << result.errors;
    EXPECT_EQ(unitAndFileOf(result), "(unit = 1, file = 'KWEESUM.DAT')") << result.errors;
}

TEST(OutputFailure, FirstFailureIsReportedBeforeTheRefusedFlush) {
    TempDir dir;
    RunOptions options;
    options.input = "\n";
    options.outputPath = "/dev/full";
    const RunResult result = runKvw(dir.path(), options);
    EXPECT_EQ(result.status, 2) << result.errors;
    const std::size_t open = result.errors.find("kvw run-time error: File '' does not exist\n");
    const std::size_t flush = result.errors.find("kvw run-time error: No space left on device\n");
    ASSERT_NE(open, std::string::npos) << result.errors;
    ASSERT_NE(flush, std::string::npos) << result.errors;
    EXPECT_LT(open, flush);
    EXPECT_EQ(unitAndFileOf(result), "(unit = 1, file = '')") << result.errors;
}

}  // namespace
}  // namespace kvw::testing
