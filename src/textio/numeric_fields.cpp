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

namespace {

// Where the digits of a fixed-point field go: nbefore digits before the
// point, then nzero zeros, then nafter digits, all taken from `digits` (and
// "0" beyond its end).
struct FixedPositions {
    std::string digits;
    int nbefore = 0;
    int nzero = 0;
    int nafter = 0;
    int leadingZeros = 0;  // zeros between the point and the first digit
    bool zero = false;     // every digit shown is 0, or none is shown
};

FixedPositions positionsOf(DecimalDigits decimal, double magnitude, int decimals) {
    FixedPositions field;
    if (decimals == 0 && decimal.exponent <= 0 && magnitude != 0) {
        // Without decimals a value below one rounds to 0 or 1 on its first digit.
        decimal.digits.insert(decimal.digits.begin(), '0');
        ++decimal.exponent;
    }
    field.digits = std::move(decimal.digits);
    field.nbefore = std::max(decimal.exponent, 0);
    field.nafter = decimals;
    if (decimal.exponent < 0) {
        field.nzero = std::min(decimals, -decimal.exponent);
        field.nafter = decimals - field.nzero;
        field.leadingZeros = -decimal.exponent;
    }
    field.zero = magnitude == 0;
    return field;
}

// Rounds half away from zero at the field's last digit, on the 23-digit string.
void roundAtLastDigit(FixedPositions& field, int decimals) {
    if (field.zero) {
        return;
    }
    std::string& digits = field.digits;
    const int shown = field.nbefore + field.nafter;
    if (shown == 0) {
        // The value lies wholly beyond the last decimal: one unit there, or zero.
        if (field.leadingZeros == decimals && digits[0] >= '5') {
            field.nzero = decimals - 1;
            field.nafter = 1;
            digits.assign(1, '1');
        } else {
            field.zero = true;
        }
        return;
    }
    if (shown >= kSignificantDigits) {
        return;  // every digit kept; the positions beyond show 0
    }
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
            if (field.nzero > 0) {
                --field.nzero;
                ++field.nafter;
            } else {
                ++field.nbefore;
            }
        }
    }
    digits.resize(static_cast<std::size_t>(field.nbefore + field.nafter));
    field.zero = digits.find_first_not_of('0') == std::string::npos;
}

// Blanks, the sign, a leading zero where there is room, the digits and the
// point; asterisks when the field is too narrow.
void appendLayout(std::string& out, FixedPositions field, bool negative, int width, int decimals) {
    if (field.zero) {
        // A zero result: the point and the decimals, the sign of the value kept.
        field.nbefore = 0;
        field.nzero = decimals;
        field.nafter = 0;
    }
    int blanks = width - (field.nbefore + field.nzero + field.nafter + 1) - (negative ? 1 : 0);
    if (blanks < 0) {
        appendAsterisks(out, width);
        return;
    }
    const bool leadingZero = field.nbefore == 0 && blanks > 0;
    if (leadingZero) {
        --blanks;
    }
    auto digitAt = [&field](int index) {
        return index < static_cast<int>(field.digits.size()) ? field.digits[static_cast<std::size_t>(index)] : '0';
    };
    out.append(static_cast<std::size_t>(blanks), ' ');
    if (negative) {
        out += '-';
    }
    if (leadingZero) {
        out += '0';
    }
    for (int i = 0; i < field.nbefore; ++i) {
        out += digitAt(i);
    }
    out += '.';
    out.append(static_cast<std::size_t>(field.nzero), '0');
    for (int i = 0; i < field.nafter; ++i) {
        out += digitAt(field.nbefore + i);
    }
}

}  // namespace

void appendFixedField(std::string& out, double value, int width, int decimals) {
    if (!std::isfinite(value)) {
        appendNonFiniteField(out, value, width);
        return;
    }
    const double magnitude = std::fabs(value);
    FixedPositions field = positionsOf(significantDigits(magnitude), magnitude, decimals);
    roundAtLastDigit(field, decimals);
    appendLayout(out, std::move(field), std::signbit(value), width, decimals);
}

}  // namespace kvw::textio
