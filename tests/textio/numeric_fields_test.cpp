// Iw and Fw.d fields, byte-exact. Every expected text below follows from the
// field rules by hand: the 23-digit correctly rounded digit string of the
// value's exact binary value, then rounding half away from zero at the last
// digit shown, the sign, the leading zero and the asterisks.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fields.h"
#include "textio/numeric_fields.h"

namespace {

using kvw::textio::appendFixedField;
using kvw::textio::appendIntegerField;
using kvw::testing::fixedField;
using kvw::testing::integerField;

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct FixedCase {
    double value;
    int width;
    int decimals;
    const char* printed;
};

void expectFixed(const std::vector<FixedCase>& cases) {
    for (const FixedCase& c : cases) {
        EXPECT_EQ(fixedField(c.value, c.width, c.decimals), c.printed)
            << "F" << c.width << "." << c.decimals << " of " << c.value;
    }
}

TEST(FixedField, DocumentedEdgeCases) {
    expectFixed({
        {0.5, 14, 8, "    0.50000000"},
        {-0.0000001, 9, 6, "-0.000000"},
        {0.0, 9, 6, " 0.000000"},
        {-0.0, 9, 6, "-0.000000"},
        {0.0000007, 9, 6, " 0.000001"},
        {0.00000007, 9, 6, " 0.000000"},
        {0.0078125, 9, 6, " 0.007813"},  // an exact tie, away from zero
        {0.001953125, 14, 8, "    0.00195313"},
        {9.9999996, 9, 6, "10.000000"},
        {99.9999995, 9, 6, "*********"},  // binary value 99.99999950000000126... rounds up to 100
        {100.0, 9, 6, "*********"},
        {-10.0, 9, 6, "*********"},
        {2455000.123456, 14, 6, "2455000.123456"},  // 2455000.12345599988...
        {-2455000.1, 14, 6, "**************"},
        {kInf, 9, 6, "+Infinity"},
        {kNaN, 9, 6, "      NaN"},
        {kInf, 14, 6, "     +Infinity"},
    });
}

TEST(FixedField, SignAndLeadingZero) {
    expectFixed({
        {-0.0078125, 9, 6, "-0.007813"},
        {0.5, 8, 6, "0.500000"},
        {-0.5, 8, 6, "-.500000"},  // no room left for the zero
        {0.5, 7, 6, ".500000"},
        {-0.5, 7, 6, "*******"},
        {0.0, 7, 6, ".000000"},
        {-0.0, 8, 6, "-.000000"},
        {-0.0000000999, 9, 6, "-0.000000"},
        {1.2345678, 9, 6, " 1.234568"},
        {0.0123456, 9, 6, " 0.012346"},
        {0.000123, 14, 6, "      0.000123"},
        {2455000.5, 14, 6, "2455000.500000"},
    });
}

TEST(FixedField, ValueWhollyBeyondTheLastDecimal) {
    // Only a first digit of 5 or more one place beyond the field shows one unit.
    expectFixed({
        {9.999996e-7, 9, 6, " 0.000001"},
        {-0.0000007, 9, 6, "-0.000001"},
        {0.0000005000001, 9, 6, " 0.000001"},
        {5e-7, 9, 6, " 0.000000"},  // binary value 4.99999999999999977...e-7: first digit 4
        {0.0000000999, 9, 6, " 0.000000"},  // two places beyond
        {0.000000006, 14, 8, "    0.00000001"},  // 5.99999999999999996...e-9
    });
}

TEST(FixedField, CarryThroughNinesAddsADigit) {
    expectFixed({
        {0.9999996, 9, 6, " 1.000000"},    // a digit before the point appears
        {99.9999996, 10, 6, "100.000000"},
        {-9.9999996, 10, 6, "-10.000000"},
        {0.0999999996, 9, 6, " 0.100000"},  // one zero after the point becomes a digit
        {0.00099999996, 9, 6, " 0.001000"},
    });
}

TEST(FixedField, RoundsFirstToTwentyThreeDigitsThenAtTheField) {
    // 0.08 is 0.08000000000000000166533453693...: 23 digits give ...1665335,
    // whose last digit then rounds the 22nd shown digit up (the exact value
    // alone would round it down).
    expectFixed({
        {0.08, 26, 23, " 0.08000000000000000166534"},
        // Beyond 23 digits the field shows zeros.
        {0.1, 30, 25, "   0.1000000000000000055511200"},
        {1e25, 30, 2, " 10000000000000000905970000.00"},  // 10000000000000000905969664
    });
}

TEST(FixedField, NoDecimals) {
    expectFixed({
        {0.4, 5, 0, "   0."},
        {0.5, 5, 0, "   1."},
        {2.5, 5, 0, "   3."},
        {-0.4, 5, 0, "  -0."},
        {0.04, 5, 0, "   0."},
        {99.5, 4, 0, "100."},
        {99.5, 3, 0, "***"},
        {0.0, 2, 0, "0."},
    });
}

TEST(FixedField, NotFiniteForEveryWidth) {
    expectFixed({
        {kInf, 1, 0, "*"},
        {-kInf, 2, 0, "**"},
        {kNaN, 2, 1, "**"},
        {kNaN, 3, 1, "NaN"},
        {-kNaN, 5, 2, "  NaN"},
        {kNaN, 14, 6, "           NaN"},
        {kInf, 3, 1, "Inf"},
        {-kInf, 3, 1, "***"},
        {kInf, 4, 1, "+Inf"},
        {-kInf, 4, 1, "-Inf"},
        {kInf, 8, 3, "    +Inf"},
        {-kInf, 8, 3, "    -Inf"},
        {-kInf, 9, 2, "-Infinity"},
        {-kInf, 14, 6, "     -Infinity"},
    });
}

TEST(FixedField, AppendsAfterExistingText) {
    std::string line = "AB";
    appendFixedField(line, 1.5, 5, 1);
    appendIntegerField(line, 7, 2);
    EXPECT_EQ(line, "AB  1.5 7");
}

TEST(IntegerField, WidthsAndLimits) {
    struct Case {
        std::int32_t value;
        int width;
        const char* printed;
    };
    const std::vector<Case> cases = {
        {100000, 5, "*****"},
        {-1234, 5, "-1234"},  // four digits and the sign fill the field
        {-1234, 6, " -1234"},
        {0, 5, "    0"},
        {1, 5, "    1"},
        {-1, 5, "   -1"},
        {99999, 5, "99999"},
        {-9999, 5, "-9999"},
        {-10000, 5, "*****"},
        {31, 5, "   31"},
        {0, 1, "0"},
        {-1, 1, "*"},
        {std::numeric_limits<std::int32_t>::min(), 5, "*****"},
        {std::numeric_limits<std::int32_t>::min(), 11, "-2147483648"},
        {std::numeric_limits<std::int32_t>::min(), 12, " -2147483648"},
        {std::numeric_limits<std::int32_t>::max(), 10, "2147483647"},
        {std::numeric_limits<std::int32_t>::max(), 9, "*********"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(integerField(c.value, c.width), c.printed) << "I" << c.width << " of " << c.value;
    }
}

}  // namespace
