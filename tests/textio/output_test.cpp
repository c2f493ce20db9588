// Output connections on files: the record bytes, when they reach the disk,
// and how an existing file is cut to the new content.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "support/whole_run.h"
#include "textio/input.h"
#include "textio/connections.h"
#include "textio/detail/connection_table.h"
#include "textio/run_failure.h"
#include "textio/output.h"

namespace {

using kvw::testing::TempDir;
using namespace kvw::textio;

const Format kSummary("(2I5,1X,F14.8)");

// The summary record of trial i with i pairs and a sum of i/4: 27 bytes.
std::string summaryRecord(std::int32_t i) {
    std::string quarters = std::to_string(i / 4) + "." + std::to_string(i % 4 * 25) + "000000";
    if (i % 4 == 0) {
        quarters = std::to_string(i / 4) + ".00000000";
    }
    std::string record = std::string(5 - std::to_string(i).size(), ' ') + std::to_string(i);
    record += record;
    record += ' ';
    record += std::string(14 - quarters.size(), ' ') + quarters;
    return record + "\r\n";
}

void writeSummary(OutputConnection& connection, std::int32_t i) {
    writeFormatted(connection, kSummary, {i, i, i / 4.0});
}

class OutputFile : public ::testing::Test {
protected:
    void TearDown() override { closeAllConnections(); }

    std::uintmax_t sizeOnDisk() const { return std::filesystem::file_size(path()); }
    std::string path() const { return (dir / "KWEESUM.DAT").string(); }
    OutputConnection& open() { return openConnection(kFileUnit, path(), "UNKNOWN"); }

    TempDir dir;
};

TEST_F(OutputFile, FreeFormatRecords) {
    OutputConnection& out = open();
    EXPECT_EQ(out.number, 1);
    EXPECT_EQ(out.name, path());
    writeFreeFormat(out, "Singular matrix.");
    writeFreeFormat(out);
    writeFreeFormat(out, "ab  ");
    writeFreeFormat(out, std::string(65, 'x'));
    closeAllConnections();
    EXPECT_EQ(dir.read("KWEESUM.DAT"),
              " Singular matrix.\r\n\r\n ab  \r\n " + std::string(65, 'x') + "\r\n");
}

TEST_F(OutputFile, FormattedRecords) {
    OutputConnection& out = open();
    writeFormatted(out, kSummary, {std::int32_t{31}, std::int32_t{0}, 0.0});
    writeFormatted(out, Format("(/,'A',2X)"), {});
    closeAllConnections();
    EXPECT_EQ(dir.read("KWEESUM.DAT"), "   31    0     0.00000000\r\n\r\nA\r\n");
    EXPECT_EQ(summaryRecord(31), "   31   31     7.75000000\r\n");
}

TEST_F(OutputFile, LongerFileIsCutAfterTheFirstStatement) {
    dir.write("KWEESUM.DAT", std::string(1000, 'z') + "\r\n");
    OutputConnection& out = open();
    EXPECT_FALSE(out.atEnd);
    writeSummary(out, 1);
    // The first statement reaches the disk at once and the old rest is gone.
    EXPECT_EQ(dir.read("KWEESUM.DAT"), summaryRecord(1));
    EXPECT_TRUE(out.atEnd);
    writeSummary(out, 2);
    EXPECT_EQ(sizeOnDisk(), 27u);  // the second one waits in the buffer
    closeAllConnections();
    EXPECT_EQ(dir.read("KWEESUM.DAT"), summaryRecord(1) + summaryRecord(2));
}

TEST_F(OutputFile, ShorterFileIsOverwrittenFromItsStart) {
    dir.write("KWEESUM.DAT", "AB");
    OutputConnection& out = open();
    writeSummary(out, 3);
    closeAllConnections();
    EXPECT_EQ(dir.read("KWEESUM.DAT"), summaryRecord(3));
}

TEST_F(OutputFile, NewAndEmptyFilesAreNotCut) {
    for (const bool exists : {false, true}) {
        if (exists) {
            dir.write("KWEESUM.DAT", "");
        }
        OutputConnection& out = open();
        EXPECT_TRUE(out.atEnd);
        writeSummary(out, 4);
        EXPECT_EQ(sizeOnDisk(), 0u) << "nothing is handed over before the buffer fills";
        closeAllConnections();
        EXPECT_EQ(dir.read("KWEESUM.DAT"), summaryRecord(4));
        std::filesystem::remove(path());
    }
}

TEST_F(OutputFile, OldContentStaysWhenNoRecordIsWritten) {
    dir.write("KWEESUM.DAT", "OLD CONTENT\r\nSECOND\r\n");
    open();
    closeAllConnections();
    EXPECT_EQ(dir.read("KWEESUM.DAT"), "OLD CONTENT\r\nSECOND\r\n");
}

TEST_F(OutputFile, RecordsCollectInTheStreamBuffer) {
    // 303 records of 27 bytes (8181 bytes) fit in 8192; the 304th does not,
    // so the first 303 are handed over before it is buffered.
    OutputConnection& out = open();
    std::string expected;
    for (std::int32_t i = 1; i <= 303; ++i) {
        writeSummary(out, i);
        expected += summaryRecord(i);
    }
    EXPECT_EQ(sizeOnDisk(), 0u);
    writeSummary(out, 304);
    EXPECT_EQ(dir.read("KWEESUM.DAT"), expected);
    expected += summaryRecord(304);
    closeAllConnections();
    EXPECT_EQ(dir.read("KWEESUM.DAT"), expected);
}

TEST_F(OutputFile, RecordThatExactlyFillsTheBufferWaits) {
    OutputConnection& out = open();
    std::string expected;
    for (std::int32_t i = 1; i <= 303; ++i) {
        writeSummary(out, i);
        expected += summaryRecord(i);
    }
    writeFreeFormat(out, "12345678");  // 11 bytes: 8192 in all, which still fit
    expected += " 12345678\r\n";
    EXPECT_EQ(sizeOnDisk(), 0u);
    writeFreeFormat(out);
    EXPECT_EQ(dir.read("KWEESUM.DAT"), expected);
    closeAllConnections();
    EXPECT_EQ(dir.read("KWEESUM.DAT"), expected + "\r\n");
}

TEST_F(OutputFile, NameLosesItsTrailingBlanks) {
    OutputConnection& out = openConnection(kFileUnit, path() + "   ", "UNKNOWN");
    EXPECT_EQ(out.name, path());
    writeFreeFormat(out, "x");
    closeAllConnections();
    EXPECT_EQ(dir.read("KWEESUM.DAT"), " x\r\n");
}

// One connection per number, whichever way it goes: an open closes what held
// the number, flushing a writing connection first.
TEST_F(OutputFile, AnOpenReplacesTheConnectionOfTheSameNumberEitherWay) {
    dir.write("OBS.DAT", "1 2\n");
    openTextFile(kFileUnit, (dir / "OBS.DAT").string(), "UNKNOWN");
    writeFreeFormat(open(), "written");
    ASSERT_NE(detail::findConnection(kFileUnit), nullptr);
    EXPECT_TRUE(std::holds_alternative<OutputConnection>(*detail::findConnection(kFileUnit)));

    openTextFile(kFileUnit, (dir / "OBS.DAT").string(), "UNKNOWN");
    EXPECT_EQ(dir.read("KWEESUM.DAT"), " written\r\n");
    EXPECT_TRUE(std::holds_alternative<TextConnection>(*detail::findConnection(kFileUnit)));
    closeAllConnections();
    EXPECT_EQ(detail::findConnection(kFileUnit), nullptr);
    EXPECT_EQ(dir.read("OBS.DAT"), "1 2\n");
}

TEST_F(OutputFile, OpenOfADirectoryFails) {
    const auto here = SourceLocation::current();
    try {
        openConnection(kFileUnit, dir.path().string(), "UNKNOWN", here);
        FAIL() << "the open succeeded";
    } catch (const RunFailure& failure) {
        EXPECT_EQ(failure.reason, "'" + dir.path().string() + "' is a directory");
        EXPECT_EQ(failure.location->unit, 1);
        EXPECT_EQ(failure.location->fileName, "");
        EXPECT_EQ(failure.location->where.line(), here.line());
    }
}

}  // namespace
