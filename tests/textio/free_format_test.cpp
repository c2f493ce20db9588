// Free-format reads of two reals per statement from a file, as the reading
// pass over the observation file does them.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/whole_run.h"
#include "textio/free_format.h"
#include "textio/input.h"
#include "textio/connections.h"
#include "textio/run_failure.h"
#include "textio/output.h"

namespace {

using kvw::testing::TempDir;
using namespace kvw::textio;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kOld1 = 111.0;  // the targets' values before each statement
constexpr double kOld2 = 222.0;
constexpr auto A = ItemOutcome::assigned;
constexpr auto N = ItemOutcome::null;
constexpr auto R = ItemOutcome::notReached;
constexpr auto done = ReadResult::done;
constexpr auto eof = ReadResult::endOfFile;

struct Statement {
    ReadResult result;
    double first;
    double second;
    ItemOutcome firstOutcome;
    ItemOutcome secondOutcome;
};

// The end of the file at the first item: nothing assigned.
constexpr Statement kEnd{eof, kOld1, kOld2, R, R};

Statement pair(double first, double second) { return {done, first, second, A, A}; }

// Equal values bit for bit, so that the sign of a zero counts; any NaN matches a NaN.
bool same(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

std::string describe(const Statement& s) {
    return std::string(s.result == done ? "done" : "end of file") + " (" + std::to_string(s.first) + ", " +
           std::to_string(s.second) + ") outcomes " + std::to_string(static_cast<int>(s.firstOutcome)) + "," +
           std::to_string(static_cast<int>(s.secondOutcome));
}

bool operator==(const Statement& a, const Statement& b) {
    return a.result == b.result && same(a.first, b.first) && same(a.second, b.second) &&
           a.firstOutcome == b.firstOutcome && a.secondOutcome == b.secondOutcome;
}

class FreeFormat : public ::testing::Test {
protected:
    void TearDown() override { closeAllConnections(); }

    std::string path() const { return (dir / "OBS.DAT").string(); }

    TextConnection& open(const std::string& content) {
        closeAllConnections();
        dir.write("OBS.DAT", content);
        return openTextFile(kFileUnit, path(), "UNKNOWN");
    }

    static Statement read(TextConnection& in) {
        double targets[2] = {kOld1, kOld2};
        ItemOutcome outcomes[2] = {R, R};
        const ReadResult result = readFreeFormatRecord(in, targets, outcomes);
        return {result, targets[0], targets[1], outcomes[0], outcomes[1]};
    }

    // Reads as many statements as expected and compares them in order.
    void expectStatements(const char* label, const std::string& content, const std::vector<Statement>& expected) {
        TextConnection& in = open(content);
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Statement got = read(in);
            EXPECT_TRUE(got == expected[i]) << label << ", statement " << i + 1 << ": expected "
                                            << describe(expected[i]) << ", got " << describe(got);
        }
    }

    // Reads until a statement fails; `good` statements succeed first.
    void expectFailure(const std::string& content, int good, const std::string& reason) {
        TextConnection& in = open(content);
        for (int i = 0; i < good; ++i) {
            EXPECT_EQ(read(in).result, done) << content;
        }
        try {
            read(in);
            ADD_FAILURE() << "no failure for: " << content;
        } catch (const RunFailure& failure) {
            EXPECT_EQ(failure.reason, reason) << content;
            EXPECT_EQ(failure.location->unit, 1);
            EXPECT_EQ(failure.location->fileName, path());
        }
    }

    TempDir dir;
};

struct Case {
    const char* label;
    std::string content;
    std::vector<Statement> statements;
};

TEST_F(FreeFormat, Statements) {
    const Statement observation = pair(845.3127, 12.345);
    const std::vector<Case> cases = {
        {"blanks", "845.3127 12.345\n", {observation, kEnd}},
        {"comma", "845.3127,12.345\n", {observation, kEnd}},
        {"semicolon", "845.3127 ; 12.345\n", {observation, kEnd}},
        {"tab", "845.3127\t12.345\n", {observation, kEnd}},
        {"blanks around, CR LF", "  845.3127 \t 12.345  \r\n", {observation, kEnd}},
        {"comma with blanks", "845.3127 , 12.345\r\n", {observation, kEnd}},
        {"split over two lines", "845.3127\n12.345\n", {observation, kEnd}},
        {"split around a blank line", "845.3127  \n\n   12.345\n", {observation, kEnd}},
        {"blank lines before", "\n   \n\t\n845.3127 12.345\n", {observation, kEnd}},
        {"CR LF blank lines before", "\r\n\r\n845.3127 12.345\r\n", {observation, kEnd}},
        {"number forms", "1.5D2 1.5-3\n-.5 7.\n1.5d+2,2.5E-1\n+3 845\n.5e1 1.E2\n",
         {pair(150.0, 0.0015), pair(-0.5, 7.0), pair(150.0, 0.25), pair(3.0, 845.0), pair(5.0, 100.0), kEnd}},
        {"repeat", "2*7.5\n", {pair(7.5, 7.5), kEnd}},
        {"repeat left over", "3*7.5\n1 2\n", {pair(7.5, 7.5), pair(1, 2), kEnd}},
        {"repeat limit", "200000000*5\n", {pair(5, 5), kEnd}},
        {"null repeat", "2*\n5 6\n", {{done, kOld1, kOld2, N, N}, pair(5, 6), kEnd}},
        {"leading comma", ",12.345\n", {{done, kOld1, 12.345, N, A}, kEnd}},
        {"leading comma after blanks", "  , 12.345\n", {{done, kOld1, 12.345, N, A}, kEnd}},
        {"two commas", "1,,2\n", {{done, 1, kOld2, A, N}, kEnd}},
        {"comma before the line end", "1,\n2\n", {pair(1, 2), kEnd}},
        {"comma after the line end", "1\n,2\n", {pair(1, 2), kEnd}},
        {"commas around the line end", "1,\n,2\n", {{done, 1, kOld2, A, N}, kEnd}},
        {"special values", "inf -Infinity\nNaN nAn\nINF +iNfInItY\n-nan 1\n",
         {pair(kInf, -kInf), pair(kNaN, kNaN), pair(kInf, kInf), pair(kNaN, 1), kEnd}},
        {"without a point", "845 12\n", {pair(845, 12), kEnd}},
        {"last line without LF", "845.3127 12.345", {observation, kEnd}},
        {"last line with blanks, without LF", "1 2   ", {pair(1, 2), kEnd}},
        {"word on the last line without LF", "845.3127 12.345 V", {{eof, 845.3127, 12.345, A, A}}},
        {"word on a line", "845.3127 12.345 V\n1 2\n", {observation, pair(1, 2), kEnd}},
        {"three numbers", "1 2 3\n4 5 6\n", {pair(1, 2), pair(4, 5), kEnd}},
        {"one number on a line", "1\n2 3\n4 5\n", {pair(1, 2), pair(4, 5), kEnd}},
        {"slash", "1 / 2\n3 4\n", {{done, 1, kOld2, A, N}, pair(3, 4), kEnd}},
        {"slash first", "/ 9 9\n5 6\n", {{done, kOld1, kOld2, N, N}, pair(5, 6), kEnd}},
        {"lone CR line ends", "1 2\r3 4\r5 6\r", {{eof, 1, 2, A, A}}},
        {"lone CR between the values", "1\r2\n3 4\n", {pair(1, 2), pair(3, 4), kEnd}},
        {"CR CR LF line ends", "1 2\r\r\n3 4\r\r\n", {pair(1, 2), pair(3, 4), kEnd}},
        {"empty file", "", {kEnd}},
        {"blank lines only", "\n  \n", {kEnd}},
        {"huge and tiny", "1e400 -1e400\n1e-400 -1e-400\n4.9406564584124654e-324 2.5e-324\n"
                          "2.2250738585072011e-308 2e-324\n1e99999999999999999999 1e-99999999999999999999\n",
         {pair(kInf, -kInf), pair(0.0, -0.0), pair(0x1p-1074, 0x1p-1074), pair(0x0.fffffffffffffp-1022, 0.0),
          pair(kInf, 0.0), kEnd}},
    };
    for (const Case& c : cases) {
        expectStatements(c.label, c.content, c.statements);
    }
}

// The digits of m x 5^p, as a decimal text with p places after the point:
// exactly m x 2^-p.
std::string timesPowerOfHalf(unsigned m, int p) {
    std::vector<int> digits = {static_cast<int>(m)};  // least significant first, may exceed 9 until carried
    for (int i = 0; i < p; ++i) {
        int carry = 0;
        for (int& d : digits) {
            const int v = d * 5 + carry;
            d = v % 10;
            carry = v / 10;
        }
        for (; carry > 0; carry /= 10) {
            digits.push_back(carry % 10);
        }
    }
    std::string text;
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        text += static_cast<char>('0' + *it);
    }
    return "0." + std::string(static_cast<std::size_t>(p) - text.size(), '0') + text;
}

TEST_F(FreeFormat, LongNumbersAreCorrectlyRounded) {
    const std::string oneAndHalfUlp = "1.00000000000000011102230246251565404236316680908203125";  // 1 + 2^-53
    const std::string halfSubnormal = timesPowerOfHalf(3, 1075);  // 1.5 x 2^-1074
    ASSERT_EQ(halfSubnormal.back(), '5');
    auto lowered = [](std::string text, std::size_t nines) {  // just below the value: ...5 becomes ...4999...
        text.back() = '4';
        return text + std::string(nines, '9');
    };
    const struct {
        std::string text;
        double value;
    } cases[] = {
        {"0.1" + std::string(5000, '0') + "1", 0.1},
        {oneAndHalfUlp, 1.0},  // a tie goes to the even neighbour
        {oneAndHalfUlp + std::string(5000, '0') + "1", 1.0 + 0x1p-52},
        {lowered(oneAndHalfUlp, 5000), 1.0},
        {halfSubnormal, 0x1p-1073},
        {halfSubnormal + std::string(3000, '0') + "1", 0x1p-1073},
        {lowered(halfSubnormal, 3000), 0x1p-1074},
        {"9007199254740993", 9007199254740992.0},
        {"9007199254740993." + std::string(5000, '0') + "1", 9007199254740994.0},
        {"0." + std::string(5000, '0') + "15E5005", 15000.0},
        {"1" + std::string(400, '0') + "E-400", 1.0},
    };
    for (const auto& c : cases) {
        TextConnection& in = open(c.text + " -" + c.text + "\n");
        const Statement got = read(in);
        EXPECT_TRUE(got == pair(c.value, -c.value)) << c.text.substr(0, 60) << "... gave " << describe(got);
    }
}

TEST_F(FreeFormat, Failures) {
    const std::string bad1 = "Bad real number in item 1 of list input";
    const std::string bad2 = "Bad real number in item 2 of list input";
    const struct {
        std::string content;
        int good;
        std::string reason;
    } cases[] = {
        {"845.3127 12.345V\n", 0, bad2},
        {"TIME MAG\n1 2\n", 0, bad1},
        {"\xEF\xBB\xBF"
         "845.3127 12.345\n",
         0, bad1},
        {"1 2\nx 3\n", 1, bad1},
        {"1.5f2 1\n", 0, bad1},
        {"1e 2\n", 0, bad1},
        {"1..2 3\n", 0, bad1},
        {"1 Infinite\n", 0, bad2},
        {"1 *5\n", 0, bad2},
        {"1 --2\n", 0, bad2},
        {"1 0x10\n", 0, bad2},
        {"0*5 1\n", 0, "Zero repeat count in item 1 of list input"},
        {"1 0*5\n", 0, "Zero repeat count in item 2 of list input"},
        {"200000001*5 1\n", 0, "Repeat count overflow in item 1 of list input"},
        {"1 99999999999999999999*5\n", 0, "Repeat count overflow in item 2 of list input"},
    };
    for (const auto& c : cases) {
        expectFailure(c.content, c.good, c.reason);
    }
}

// A bad value takes the rest of its line with it, and no more: when the
// character that ended it was the line end itself, the next line is untouched.
TEST_F(FreeFormat, BadValueSkipsOnlyTheRestOfItsLine) {
    for (const char* content : {"1 2e\n3 4\n5 6\n", "1 +\n3 4\n5 6\n", "1 2x 7\n3 4\n5 6\n", "1e\r\n3 4\n"}) {
        TextConnection& in = open(content);
        EXPECT_THROW(read(in), RunFailure) << content;
        EXPECT_TRUE(read(in) == pair(3, 4)) << content;
    }
}

}  // namespace
