#include "textio/numeric_fields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kvw::textio {

namespace {

constexpr int kSignificantDigits = 23;

void appendAsterisks(std::string& out, int width) {
    out.append(static_cast<std::size_t>(std::max(width, 0)), '*');
}

void appendRightAligned(std::string& out, const std::string& text, int width) {
    const int length = static_cast<int>(text.size());
    if (length > width) {
        appendAsterisks(out, width);
        return;
    }
    out.append(static_cast<std::size_t>(width - length), ' ');
    out += text;
}

void appendNonFiniteField(std::string& out, double value, int width) {
    if (width <= 2) {
        appendAsterisks(out, width);
        return;
    }
    if (std::isnan(value)) {
        appendRightAligned(out, "NaN", width);
        return;
    }
    const bool negative = value < 0;
    if (width >= 9) {
        appendRightAligned(out, negative ? "-Infinity" : "+Infinity", width);
    } else if (width >= 4) {
        appendRightAligned(out, negative ? "-Inf" : "+Inf", width);
    } else {
        // Three positions: room for the word but not for a minus sign.
        if (negative) {
            appendAsterisks(out, width);
        } else {
            out += "Inf";
        }
    }
}

// The 23 significant digits of a positive finite magnitude, correctly rounded
// (ties to even), and the exponent E with m ~ 0.D1D2... x 10^E.
struct DecimalDigits {
    std::string digits;
    int exponent = 0;
};

DecimalDigits significantDigits(double magnitude) {
    DecimalDigits result;
    if (magnitude == 0) {
        result.digits.assign(kSignificantDigits, '0');
        result.exponent = 0;
        return result;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%+-#31.*e", kSignificantDigits - 1, magnitude);
    // text: sign, first digit, point, 22 digits, 'e', exponent, padding blanks.
    result.digits.reserve(kSignificantDigits);
    result.digits += text[1];
    const char* p = text + 3;
    while (*p >= '0' && *p <= '9') {
        result.digits += *p++;
    }
    result.exponent = std::atoi(p + 1) + 1;
    return result;
}

}  // namespace

void appendIntegerField(std::string& out, std::int32_t value, int width) {
    const std::int64_t wide = value;
    const std::string digits = std::to_string(wide < 0 ? -wide : wide);
    const int needed = static_cast<int>(digits.size()) + (wide < 0 ? 1 : 0);
    if (needed > width) {
        appendAsterisks(out, width);
        return;
    }
    out.append(static_cast<std::size_t>(width - needed), ' ');
    if (wide < 0) {
        out += '-';
    }
    out += digits;
}

void appendFixedField(std::string& out, double value, int width, int decimals) {
    if (!std::isfinite(value)) {
        appendNonFiniteField(out, value, width);
        return;
    }
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);
    DecimalDigits decimal = significantDigits(magnitude);
    std::string& digits = decimal.digits;
    int exponent = decimal.exponent;

    if (decimals == 0 && exponent <= 0 && magnitude != 0) {
        // Without decimals a value below one rounds to 0 or 1 on its first digit.
        digits.insert(digits.begin(), '0');
        ++exponent;
    }

    int nbefore = exponent;
    int nzero = 0;
    int nafter = decimals;
    int leadingZeros = 0;  // zeros between the point and the first digit
    if (exponent < 0) {
        nzero = std::min(decimals, -exponent);
        nafter = decimals - nzero;
        nbefore = 0;
        leadingZeros = -exponent;
    } else if (exponent == 0) {
        nbefore = 0;
    }

    bool allShownZero = false;
    if (magnitude == 0) {
        allShownZero = true;
    } else {
        const int shown = nbefore + nafter;
        if (shown == 0) {
            if (leadingZeros == decimals && digits[0] >= '5') {
                nzero = decimals - 1;
                nafter = 1;
                digits.assign(1, '1');
            } else {
                allShownZero = true;
            }
        } else if (shown < kSignificantDigits) {
            if (digits[static_cast<std::size_t>(shown)] >= '5') {
                int position = shown - 1;
                while (position >= 0 && digits[static_cast<std::size_t>(position)] == '9') {
                    digits[static_cast<std::size_t>(position)] = '0';
                    --position;
                }
                if (position >= 0) {
                    ++digits[static_cast<std::size_t>(position)];
                } else {
                    // The carry ran past the first digit: one more digit in front.
                    digits.insert(digits.begin(), '1');
                    if (nzero > 0) {
                        --nzero;
                        ++nafter;
                    } else {
                        ++nbefore;
                    }
                }
            }
            digits.resize(static_cast<std::size_t>(nbefore + nafter));
            allShownZero = digits.find_first_not_of('0') == std::string::npos;
        }
    }

    if (allShownZero) {
        // A zero result: the point and the decimals, the sign of the value kept.
        nbefore = 0;
        nzero = decimals;
        nafter = 0;
    }

    int blanks = width - (nbefore + nzero + nafter + 1) - (negative ? 1 : 0);
    if (blanks < 0) {
        appendAsterisks(out, width);
        return;
    }
    bool leadingZero = false;
    if (nbefore == 0 && blanks > 0) {
        leadingZero = true;
        --blanks;
    }
    auto digitAt = [&digits](int index) {
        return index < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(index)] : '0';
    };
    out.append(static_cast<std::size_t>(blanks), ' ');
    if (negative) {
        out += '-';
    }
    if (leadingZero) {
        out += '0';
    }
    for (int i = 0; i < nbefore; ++i) {
        out += digitAt(i);
    }
    out += '.';
    out.append(static_cast<std::size_t>(nzero), '0');
    for (int i = 0; i < nafter; ++i) {
        out += digitAt(nbefore + i);
    }
}

std::string integerField(std::int32_t value, int width) {
    std::string out;
    appendIntegerField(out, value, width);
    return out;
}

std::string fixedField(double value, int width, int decimals) {
    std::string out;
    appendFixedField(out, value, width, decimals);
    return out;
}

}  // namespace kvw::textio
