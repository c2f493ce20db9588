#include "timescale/sky_position.h"

#include <erfa.h>
#include <erfam.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

#include "linalg/extended.h"

namespace kvw::timescale {

namespace {

using linalg::Extended;

constexpr std::string_view kBlanks = " \t";

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Digits with an optional fraction ("12", "12.5", ".5"), or digits alone when
// `whole`; nothing otherwise.
std::optional<Extended> partValue(std::string_view text, bool whole) {
    constexpr std::string_view kDigits = "0123456789";
    std::size_t end = std::min(text.find_first_not_of(kDigits), text.size());
    bool anyDigit = end > 0;
    if (!whole && end < text.size() && text[end] == '.') {
        const std::size_t fractionEnd = std::min(text.find_first_not_of(kDigits, end + 1), text.size());
        anyDigit = anyDigit || fractionEnd > end + 1;
        end = fractionEnd;
    }
    if (!anyDigit || end != text.size()) {
        return std::nullopt;
    }
    Extended value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The parts of "20:12:00.5", "20 12 00.5" or "20h12m00.5s" (with `unit` 'h'
// or 'd'); nothing when the text has none of these separators.
std::optional<std::vector<std::string_view>> sexagesimalParts(std::string_view text, char unit) {
    std::vector<std::string_view> parts;
    const auto splitAt = [&](std::string_view separators) {
        std::size_t start = 0;
        while (true) {
            const std::size_t end = text.find_first_of(separators, start);
            parts.push_back(text.substr(start, end - start));
            if (end == std::string_view::npos) {
                return parts;
            }
            start = separators == kBlanks ? text.find_first_not_of(kBlanks, end) : end + 1;
        }
    };
    if (text.find(':') != std::string_view::npos) {
        return splitAt(":");
    }
    if (text.find_first_of(kBlanks) != std::string_view::npos) {
        return splitAt(kBlanks);
    }
    if (text.find(unit) == std::string_view::npos) {
        return std::nullopt;
    }
    std::size_t start = 0;
    for (const char letter : {unit, 'm', 's'}) {
        const std::size_t end = text.find(letter, start);
        if (start == text.size() || (end == std::string_view::npos && letter != 's')) {
            break;
        }
        parts.push_back(text.substr(start, end - start));
        start = end == std::string_view::npos ? text.size() : end + 1;
    }
    if (start != text.size()) {
        parts.push_back(text.substr(start));  // a stray letter: a part that cannot be read
    }
    return parts;
}

struct Sexagesimal {
    Extended whole = 0;  // hours or degrees, with the minutes and seconds
    std::string problem;
};

// The value of the parts in their first unit; only the last part may hold a
// fraction, and minutes and seconds are less than 60.
Sexagesimal sexagesimalValue(const std::vector<std::string_view>& parts, const char* wrongForm) {
    Sexagesimal result;
    if (parts.size() > 3) {
        result.problem = wrongForm;
        return result;
    }
    Extended scale = 1;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::optional<Extended> value = partValue(parts[i], i + 1 < parts.size());
        if (!value) {
            result.problem = wrongForm;
            return result;
        }
        if (i > 0 && *value >= 60) {
            result.problem = i == 1 ? "out of range: minutes from 0 to 59" : "out of range: seconds less than 60";
            return result;
        }
        result.whole += *value / scale;
        scale *= 60;
    }
    return result;
}

// A decimal number with an optional sign; nothing for anything else
// (hexadecimal, infinities and NaN included).
std::optional<double> decimalNumber(std::string_view text) {
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-')) {
            return std::nullopt;
        }
    }
    if (text.empty() || text.find_first_not_of("0123456789.-eE+") != std::string_view::npos) {
        return std::nullopt;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

AngleReading readRightAscension(std::string_view text) {
    constexpr const char* kForm = "not a right ascension: give degrees (303.5) or hours (20:14:00)";
    text = trimmed(text);
    AngleReading result;
    const auto parts = sexagesimalParts(text, 'h');
    if (!parts) {
        const std::optional<double> degrees = decimalNumber(text);
        if (!degrees) {
            result.problem = kForm;
        } else if (!(*degrees >= 0 && *degrees < 360)) {
            result.problem = "out of range: degrees from 0 to less than 360";
        }
        result.degrees = degrees.value_or(0);
        return result;
    }
    const Sexagesimal hours = sexagesimalValue(*parts, kForm);
    result.problem = hours.problem;
    if (result.problem.empty() && hours.whole >= 24) {
        result.problem = "out of range: hours from 0 to 23";
    }
    result.degrees = linalg::store(hours.whole * 15);
    return result;
}

AngleReading readDeclination(std::string_view text) {
    constexpr const char* kForm = "not a declination: give degrees (-5.25) or degrees as +36:30:00";
    text = trimmed(text);
    AngleReading result;
    const bool negative = text.starts_with('-');
    std::string_view unsigned_ = (negative || text.starts_with('+')) ? trimmed(text.substr(1)) : text;
    const auto parts = sexagesimalParts(unsigned_, 'd');
    if (!parts) {
        const std::optional<double> degrees = decimalNumber(text);
        if (!degrees) {
            result.problem = kForm;
        } else if (!(std::fabs(*degrees) <= 90)) {
            result.problem = "out of range: degrees from -90 to +90";
        }
        result.degrees = degrees.value_or(0);
        return result;
    }
    const Sexagesimal degrees = sexagesimalValue(*parts, kForm);
    result.problem = degrees.problem;
    if (result.problem.empty() && degrees.whole > 90) {
        result.problem = "out of range: degrees from -90 to +90";
    }
    result.degrees = linalg::store(negative ? -degrees.whole : degrees.whole);
    return result;
}

std::string positionProblem(double rightAscension, double declination) {
    if (!(rightAscension >= 0 && rightAscension < 360)) {
        return "a right ascension out of range (degrees from 0 to less than 360)";
    }
    if (!(std::fabs(declination) <= 90)) {
        return "a declination out of range (degrees from -90 to +90)";
    }
    return {};
}

double separation(const SkyPosition& a, const SkyPosition& b) {
    return eraSeps(a.rightAscension * ERFA_DD2R, a.declination * ERFA_DD2R, b.rightAscension * ERFA_DD2R,
                   b.declination * ERFA_DD2R) * ERFA_DR2D;
}

}  // namespace kvw::timescale
