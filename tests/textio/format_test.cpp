// Format texts and the records of one write statement, byte-exact.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "support/fields.h"
#include "textio/format.h"

namespace {

using kvw::textio::Format;
using kvw::textio::FormatValue;

constexpr std::string_view kPrompt = "  ENTER INPUT FILE ! (EG.:CW-CEP.DAT) ";

std::string edit(std::string_view format, const std::vector<FormatValue>& values) {
    return kvw::testing::editStatement(Format(format), values);
}

std::string repeated(std::string_view text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i) {
        out += text;
    }
    return out;
}

struct StatementCase {
    const char* format;
    std::vector<FormatValue> values;
    std::string expected;
};

TEST(EditStatement, RecordLayouts) {
    const std::vector<StatementCase> cases = {
        {"(/////////////////////////)", {}, repeated("\r\n", 26)},
        {"(A39 )", {kPrompt}, std::string(" ") + std::string(kPrompt) + "\r\n"},
        {"(2I5,1X,F14.8)", {std::int32_t{31}, std::int32_t{0}, 0.0}, "   31    0     0.00000000\r\n"},
        {"(2I5,1X,F14.8)", {std::int32_t{-9999}, std::int32_t{100000}, -0.5}, "-9999*****    -0.50000000\r\n"},
        {"(//,2X,'MEAN VALUE=',F9.6,1X,'MINIMUM TIME=',F14.6)",
         {0.0123456, 2455000.5},
         "\r\n\r\n  MEAN VALUE= 0.012346 MINIMUM TIME=2455000.500000\r\n"},
        {"(22X,'MINIMUM ERROR=',F14.6)", {0.000123}, std::string(22, ' ') + "MINIMUM ERROR=      0.000123\r\n"},
    };
    for (const StatementCase& c : cases) {
        EXPECT_EQ(edit(c.format, c.values), c.expected) << c.format;
    }
    EXPECT_EQ(edit("(/////////////////////////)", {}).size(), 52u);
    const std::string error = edit("(22X,'MINIMUM ERROR=',F14.6)", {-1.0});
    ASSERT_EQ(error.size(), 52u);
    EXPECT_EQ(error.substr(36, 14), "     -1.000000");  // columns 37 to 50
}

TEST(EditStatement, ItemsAndSpelling) {
    const std::vector<StatementCase> cases = {
        // A without a width takes the whole text, trailing blanks included.
        {"(A)", {std::string_view("hello world  ")}, "hello world  \r\n"},
        {"(A3)", {std::string_view("abcdef")}, "abc\r\n"},
        {"(A6)", {std::string_view("ab")}, "    ab\r\n"},
        {"(A2)", {std::string_view("")}, "  \r\n"},
        // Quoted text: '' stands for one apostrophe; blanks inside are kept.
        {"('IT''S',A)", {std::string_view("x")}, "IT'Sx\r\n"},
        {"('''')", {}, "'\r\n"},
        {"('')", {}, "\r\n"},
        {"(' a  b ')", {}, " a  b \r\n"},
        // Blanks and tabs outside quotes are ignored; letters in either case.
        {"( 2 i 5 , 1 x ,\tf 9 . 3 )", {std::int32_t{1}, std::int32_t{2}, 1.5}, "    1    2     1.500\r\n"},
        {"(a4,I2)", {std::string_view("ab"), std::int32_t{3}}, "  ab 3\r\n"},
        // Commas are optional next to a slash.
        {"(I2/I2)", {std::int32_t{1}, std::int32_t{2}}, " 1\r\n 2\r\n"},
        {"(I2,/,I2)", {std::int32_t{1}, std::int32_t{2}}, " 1\r\n 2\r\n"},
        {"(/I2/)", {std::int32_t{3}}, "\r\n 3\r\n\r\n"},
        {"(3I2)", {std::int32_t{1}, std::int32_t{2}, std::int32_t{3}}, " 1 2 3\r\n"},
    };
    for (const StatementCase& c : cases) {
        EXPECT_EQ(edit(c.format, c.values), c.expected) << c.format;
    }
}

TEST(EditStatement, PendingSkip) {
    const std::vector<StatementCase> cases = {
        {"(1X,2X,I2)", {std::int32_t{7}}, "    7\r\n"},     // skips add up before a field
        {"(I3,2X,'A')", {std::int32_t{5}}, "  5  A\r\n"},   // and before a text
        {"(I3,2X)", {std::int32_t{5}}, "  5\r\n"},         // dropped at the end of the record
        {"(I3,2X,/,I2)", {std::int32_t{5}, std::int32_t{7}}, "  5\r\n 7\r\n"},  // and before a slash
        {"(2X,'A',3X/1X,'B',4X)", {}, "  A\r\n B\r\n"},
        {"(5X)", {}, "\r\n"},
    };
    for (const StatementCase& c : cases) {
        EXPECT_EQ(edit(c.format, c.values), c.expected) << c.format;
    }
}

TEST(EditStatement, StopsAtADataItemWhenTheValuesRunOut) {
    const std::vector<StatementCase> cases = {
        {"(I2,'X',I2,'Y')", {std::int32_t{1}}, " 1X\r\n"},
        {"('A',I2,'B')", {}, "A\r\n"},
        {"(I2,/,I2)", {std::int32_t{1}}, " 1\r\n\r\n"},
        {"(2I5)", {std::int32_t{4}}, "    4\r\n"},
    };
    for (const StatementCase& c : cases) {
        EXPECT_EQ(edit(c.format, c.values), c.expected) << c.format;
    }
}

TEST(EditStatement, ReportsWhereEachRecordEnds) {
    std::string out = "old";
    std::vector<std::size_t> ends;
    const std::vector<FormatValue> values = {std::int32_t{1}, std::int32_t{2}};
    kvw::textio::editStatement(Format("(I2//I2)"), values, out, ends);
    EXPECT_EQ(out, "old 1\r\n\r\n 2\r\n");
    EXPECT_EQ(ends, (std::vector<std::size_t>{7, 9, 13}));
}

TEST(Format, MalformedTextsAreRejected) {
    for (const char* text : {"", "I5", "(I5", "2I5)", "(Q5)", "(F9)", "(F9.)", "(I)", "('abc)", "(I5 I5)",
                             "(,I5)", "(I5,,I5)", "(I5) x", "(0I5)", "(X)", "('a''b'"}) {
        EXPECT_THROW(Format{text}, std::invalid_argument) << text;
    }
}

// A value that does not fit its item is a fault of the program: an assertion
// stops it where assertions are compiled in (the sanitizer build).
#ifndef NDEBUG
TEST(EditStatementDeathTest, ValuesOfTheWrongKindStopTheProgram) {
    const std::vector<std::pair<const char*, std::vector<FormatValue>>> cases = {
        {"(I5)", {1.0}},
        {"(F9.6)", {std::int32_t{1}}},
        {"(A)", {std::int32_t{1}}},
        {"(I5)", {std::string_view("1")}},
        {"(I5)", {std::int32_t{1}, std::int32_t{2}}},  // more values than data items
        {"('text')", {1.0}},
    };
    for (const auto& [format, values] : cases) {
        EXPECT_DEATH(edit(format, values), "") << format;
    }
}
#endif

}  // namespace
