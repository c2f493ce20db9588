// Opening text files and reading records under a single A edit.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

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

constexpr const char* kEnd = "<end of file>";

class TextFile : public ::testing::Test {
protected:
    void TearDown() override { closeAllConnections(); }

    std::string path(const char* name) const { return (dir / name).string(); }
    TextConnection& open(const char* name) { return openTextFile(kFileUnit, path(name), "UNKNOWN"); }

    // Every read of the connection under w and L until the end of the file:
    // the fields, then kEnd.
    static std::vector<std::string> readAll(TextConnection& connection, int width, int length) {
        std::vector<std::string> fields;
        for (int guard = 0; guard < 10000; ++guard) {
            std::string field(static_cast<std::size_t>(length), '#');
            if (readCharacterRecord(connection, width, field) == ReadResult::endOfFile) {
                fields.push_back(kEnd);
                break;
            }
            fields.push_back(field);
        }
        return fields;
    }

    TempDir dir;
};

std::string padded(std::string text, std::size_t length) {
    text.resize(length, ' ');
    return text;
}

TEST_F(TextFile, OpenFailures) {
    const std::string missingDirectory = path("NO-SUCH-DIR") + "/OBS.DAT";
    const std::string directory = dir.path().string();
    const std::string longName(259, 'a');
    const struct {
        std::string name;
        std::string reason;
    } cases[] = {
        {"", "File '' does not exist"},
        {"     ", "File '' does not exist"},
        {missingDirectory + "  ", "File '" + missingDirectory + "' does not exist"},
        {longName, "File '" + longName + "' does not exist"},
        {directory, "'" + directory + "' is a directory"},
        {directory + " ", "'" + directory + "' is a directory"},
    };
    for (const auto& c : cases) {
        const auto here = SourceLocation::current();
        try {
            openTextFile(kFileUnit, c.name, "UNKNOWN", here);
            ADD_FAILURE() << "opened '" << c.name << "'";
        } catch (const RunFailure& failure) {
            EXPECT_EQ(failure.reason, c.reason);
            EXPECT_EQ(failure.location->unit, 1);
            EXPECT_EQ(failure.location->fileName, "");
            EXPECT_EQ(failure.location->where.line(), here.line());
            EXPECT_STREQ(failure.location->where.file_name(), here.file_name());
        }
    }
    EXPECT_EQ(detail::findConnection(kFileUnit), nullptr);
}

TEST_F(TextFile, MissingFileIsCreatedEmpty) {
    TextConnection& in = open("CW-CEP.DAT");
    EXPECT_EQ(in.name, path("CW-CEP.DAT"));
    EXPECT_EQ(in.endState, EndState::atEnd);
    ASSERT_TRUE(dir.exists("CW-CEP.DAT"));
    EXPECT_EQ(readAll(in, 40, 40), std::vector<std::string>{kEnd});
    closeTextFile(in);
    EXPECT_EQ(detail::findConnection(kFileUnit), nullptr);
    EXPECT_EQ(dir.read("CW-CEP.DAT"), "");
}

TEST_F(TextFile, NameKeepsLeadingBlanksAndLosesTrailingOnes) {
    const auto previous = std::filesystem::current_path();
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    TextConnection& in = openTextFile(kFileUnit, " LEAD.DAT   ", "UNKNOWN");
    EXPECT_EQ(in.name, " LEAD.DAT");
    closeAllConnections();
    std::filesystem::current_path(previous);
    EXPECT_TRUE(dir.exists(" LEAD.DAT"));
    EXPECT_FALSE(dir.exists("LEAD.DAT"));
}

TEST_F(TextFile, Records) {
    const std::string blank21(21, ' ');
    const std::string blank40(40, ' ');
    const std::string hundred(100, 'x');
    const struct {
        const char* label;
        std::string content;
        int width;
        int length;
        std::vector<std::string> fields;
    } cases[] = {
        {"reply", "CW-CEP.DAT\r\n", 15, 21, {"CW-CEP.DAT" + std::string(11, ' '), kEnd}},
        {"long reply", "ABCDEFGHIJKLMNOPQRST\nNEXT\n", 15, 21,
         {padded("ABCDEFGHIJKLMNO", 21), padded("NEXT", 21), kEnd}},
        {"empty reply", "\n", 15, 21, {blank21, kEnd}},
        {"commas", "A,B\n", 15, 21, {padded("A,B", 21), kEnd}},
        {"line ends in a field", "AB\rCD\r\nEF\nGH", 15, 21,
         {padded("AB", 21), padded("CD", 21), padded("EF", 21), padded("GH", 21), kEnd}},
        {"lone CRs", "\r\r\n\r", 15, 21, {blank21, blank21, blank21, kEnd}},
        {"skip to LF only", "ABCDEFGHIJKLMNOP\rQR\nST\n", 15, 21,
         {padded("ABCDEFGHIJKLMNO", 21), padded("ST", 21), kEnd}},
        {"full field, CR LF", "ABCDEFGHIJKLMNO\r\nXY\n", 15, 21,
         {padded("ABCDEFGHIJKLMNO", 21), padded("XY", 21), kEnd}},
        {"full field, lone CR", "ABCDEFGHIJKLMNO\rXY\nZ", 15, 21,
         {padded("ABCDEFGHIJKLMNO", 21), padded("Z", 21), kEnd}},
        {"skip meets the end", "ABCDEFGHIJKLMNOPQ", 15, 21, {padded("ABCDEFGHIJKLMNO", 21), kEnd}},
        {"empty file", "", 40, 40, {kEnd}},
        {"counting", "845.3127 12.345\n\n845.4 12.4", 40, 40,
         {padded("845.3127 12.345", 40), blank40, padded("845.4 12.4", 40), kEnd}},
        {"long line", hundred + "\n", 40, 40, {std::string(40, 'x'), kEnd}},
        {"long last line", hundred + "\r\n" + hundred, 40, 40, {std::string(40, 'x'), std::string(40, 'x'), kEnd}},
    };
    for (const auto& c : cases) {
        dir.write("OBS.DAT", c.content);
        EXPECT_EQ(readAll(open("OBS.DAT"), c.width, c.length), c.fields) << c.label;
        closeAllConnections();
    }
}

TEST_F(TextFile, BufferBoundariesDoNotSplitRecords) {
    // Records that straddle the 8192-byte read buffer, CR LF split across it.
    std::string content;
    std::vector<std::string> expected;
    for (int i = 0; i < 1000; ++i) {
        const std::string line = std::to_string(i * 7919 % 100000) + std::string(static_cast<std::size_t>(i % 13), '.');
        content += line + (i % 2 ? "\r\n" : "\n");
        expected.push_back(padded(line.substr(0, 15), 21));
    }
    expected.push_back(kEnd);
    dir.write("OBS.DAT", content);
    EXPECT_EQ(readAll(open("OBS.DAT"), 15, 21), expected);
}

TEST_F(TextFile, ReadPastTheEndFailsUntilRewound) {
    dir.write("OBS.DAT", "1 2\n3 4\n");
    TextConnection& in = open("OBS.DAT");
    EXPECT_EQ(in.endState, EndState::notAtEnd);
    EXPECT_EQ(readAll(in, 40, 40), (std::vector<std::string>{padded("1 2", 40), padded("3 4", 40), kEnd}));
    EXPECT_EQ(in.endState, EndState::pastEnd);
    std::string field(40, '#');
    const auto here = SourceLocation::current();
    try {
        readCharacterRecord(in, 40, field, here);
        ADD_FAILURE() << "read past the end";
    } catch (const RunFailure& failure) {
        EXPECT_EQ(failure.reason, "Read past ENDFILE record");
        EXPECT_EQ(failure.location->unit, 1);
        EXPECT_EQ(failure.location->fileName, path("OBS.DAT"));
        EXPECT_EQ(failure.location->where.line(), here.line());
    }
    rewindTextFile(in);
    EXPECT_EQ(in.endState, EndState::notAtEnd);
    ASSERT_EQ(readCharacterRecord(in, 40, field), ReadResult::done);
    EXPECT_EQ(field, padded("1 2", 40));
    rewindTextFile(in);  // in the middle of the file as well
    EXPECT_EQ(readAll(in, 40, 40), (std::vector<std::string>{padded("1 2", 40), padded("3 4", 40), kEnd}));
}

TEST_F(TextFile, EmptyFileAfterRewind) {
    TextConnection& in = open("EMPTY.DAT");
    EXPECT_EQ(readAll(in, 40, 40), std::vector<std::string>{kEnd});
    rewindTextFile(in);
    EXPECT_EQ(readAll(in, 40, 40), std::vector<std::string>{kEnd});
}

TEST_F(TextFile, ExistingFileIsNotChanged) {
    dir.write("OBS.DAT", "1 2\r\n");
    open("OBS.DAT");
    closeAllConnections();
    EXPECT_EQ(dir.read("OBS.DAT"), "1 2\r\n");
}

}  // namespace
