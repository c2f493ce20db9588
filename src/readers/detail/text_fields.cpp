#include "detail/text_fields.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <system_error>

#include "linalg/extended.h"

namespace kvw::readers::detail {

namespace {

using linalg::Extended;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lowerCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads exactly `count` digits at `pos`.
std::optional<int> digitsAt(std::string_view text, std::size_t pos, std::size_t count) {
    if (pos + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        if (!isDigit(text[i])) {
            return std::nullopt;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// Digits, then optionally a point and digits: the length of the run, 0 when
// it holds no digit.
std::size_t decimalRun(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
    std::size_t digits = 0;
    while (end < text.size() && isDigit(text[end])) {
        ++end;
        ++digits;
    }
    if (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && isDigit(text[end])) {
            ++end;
            ++digits;
        }
    }
    return digits == 0 ? 0 : end - pos;
}

bool looksLikeDate(std::string_view text) {
    return digitsAt(text, 0, 4).has_value() && text.size() > 4 && text[4] == '-';
}

// YYYY-MM-DD alone.
bool isDateOnly(std::string_view text) {
    return text.size() == 10 && looksLikeDate(text) && text[7] == '-' && digitsAt(text, 5, 2) &&
           digitsAt(text, 8, 2);
}

// hh:mm, then optionally :ss, a fraction and Z: the fields of a clock time.
struct Clock {
    int hour = 0;
    int minute = 0;
    Extended seconds = 0;
};

std::optional<Clock> clockOf(std::string_view text) {
    Clock clock;
    const auto hour = digitsAt(text, 0, 2);
    const auto minute = digitsAt(text, 3, 2);
    if (!hour || !minute || text[2] != ':') {
        return std::nullopt;
    }
    clock.hour = *hour;
    clock.minute = *minute;
    std::size_t pos = 5;
    if (pos < text.size() && text[pos] == ':') {
        const std::size_t run = decimalRun(text, pos + 1);
        if (run < 2 || !digitsAt(text, pos + 1, 2)) {
            return std::nullopt;
        }
        const char* first = text.data() + pos + 1;
        std::from_chars(first, first + run, clock.seconds);
        pos += 1 + run;
    }
    if (pos < text.size() && (text[pos] == 'Z' || text[pos] == 'z')) {
        ++pos;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    return clock;
}

bool isLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to the date in the proleptic Gregorian calendar.
long long daysFromCivil(int year, int month, int day) {
    const long long y = year - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yearOfEra = y - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

constexpr Extended kJulianDateOf1970 = 2440587.5L;

// The Julian date of a UTC calendar date and clock time, after checking each
// field's range; the day is 86400 s long.
FieldValue julianDateOf(int year, int month, int day, const Clock& clock) {
    FieldValue result;
    const char* outOfRange = nullptr;
    if (month < 1 || month > 12) {
        outOfRange = "month";
    } else if (day < 1 || day > daysInMonth(year, month)) {
        outOfRange = "day";
    } else if (clock.hour > 23) {
        outOfRange = "hour";
    } else if (clock.minute > 59) {
        outOfRange = "minute";
    } else if (clock.seconds >= 60) {
        outOfRange = "second";
    }
    if (outOfRange != nullptr) {
        result.problem = std::string("a date (") + outOfRange + " out of range)";
        return result;
    }
    const Extended secondOfDay = clock.hour * 3600.0L + clock.minute * 60.0L + clock.seconds;
    const Extended julianDate = kJulianDateOf1970 + static_cast<Extended>(daysFromCivil(year, month, day)) +
                                secondOfDay / 86400.0L;
    result.value = linalg::store(julianDate);
    result.calendarDate = true;
    return result;
}

FieldValue readDateTime(std::string_view text) {
    FieldValue result;
    const auto year = digitsAt(text, 0, 4);
    const auto month = digitsAt(text, 5, 2);
    const auto day = digitsAt(text, 8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-') {
        result.problem = "a date";
        return result;
    }
    Clock clock;
    if (text.size() > 10) {
        const char separator = text[10];
        const auto parsed = (separator == 'T' || separator == 't' || separator == ' ')
                                ? clockOf(text.substr(11))
                                : std::nullopt;
        if (!parsed) {
            result.problem = "a date";
            return result;
        }
        clock = *parsed;
    }
    return julianDateOf(*year, *month, *day, clock);
}

// A meridiem after a clock time: 0 for AM, 12 for PM, nothing for another text.
std::optional<int> meridiemHours(std::string_view text) {
    std::string letters;
    for (const char c : text) {
        if (c != '.') {
            letters += lowerCase(c);
        }
    }
    if (letters == "am") {
        return 0;
    }
    if (letters == "pm") {
        return 12;
    }
    return std::nullopt;
}

// Reads 1 or 2 digits at `pos` followed by `end`, moving `pos` past both.
std::optional<int> shortNumberAt(std::string_view text, std::size_t& pos, char end) {
    const std::size_t start = pos;
    int value = 0;
    while (pos < text.size() && pos - start < 2 && isDigit(text[pos])) {
        value = value * 10 + (text[pos++] - '0');
    }
    if (pos == start || pos == text.size() || text[pos] != end) {
        return std::nullopt;
    }
    ++pos;
    return value;
}

// The clock of an EXCEL date: "h:mm", "h:mm:ss" or "h:mm:ss.fff", then
// optionally a blank and AM or PM (a.m., p.m.; any case); nothing when it is
// none of these. An hour of 12 with AM is midnight.
std::optional<Clock> excelClockOf(std::string_view text) {
    const std::size_t blank = text.find(' ');
    std::string_view time = text.substr(0, blank);
    std::optional<int> meridiem;
    if (blank != std::string_view::npos) {
        meridiem = meridiemHours(trimBlanks(text.substr(blank)));
        if (!meridiem) {
            return std::nullopt;
        }
    }
    std::size_t pos = 0;
    const std::optional<int> hour = shortNumberAt(time, pos, ':');
    std::optional<Clock> clock = hour ? clockOf("00" + std::string(time.substr(pos - 1))) : std::nullopt;
    if (!clock || (meridiem && (*hour < 1 || *hour > 12))) {
        return std::nullopt;
    }
    clock->hour = meridiem ? *hour % 12 + *meridiem : *hour;
    return clock;
}

}  // namespace

std::vector<Line> splitLines(std::string_view content) {
    if (content.substr(0, 3) == "\xEF\xBB\xBF") {
        content.remove_prefix(3);
    }
    std::vector<Line> lines;
    std::size_t number = 1;
    std::size_t start = 0;
    for (std::size_t i = 0; i < content.size(); ++i) {
        const char c = content[i];
        if (c == '\n' || c == '\r') {
            lines.push_back({number++, content.substr(start, i - start)});
            if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < content.size()) {
        lines.push_back({number, content.substr(start)});
    }
    return lines;
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool isBlankOrComment(std::string_view line) {
    const std::string_view text = trimBlanks(line);
    return text.empty() || text.front() == '#';
}

std::string upperCase(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerCase(a[i]) != lowerCase(b[i])) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> splitFields(std::string_view line, char delimiter) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    if (delimiter == '\0') {
        while (true) {
            while (pos < line.size() && isBlank(line[pos])) {
                ++pos;
            }
            if (pos == line.size()) {
                return fields;
            }
            const std::size_t start = pos;
            while (pos < line.size() && !isBlank(line[pos])) {
                ++pos;
            }
            fields.emplace_back(line.substr(start, pos - start));
        }
    }
    while (true) {
        while (pos < line.size() && isBlank(line[pos])) {
            ++pos;
        }
        std::string field;
        if (pos < line.size() && line[pos] == '"') {
            for (++pos; pos < line.size(); ++pos) {
                if (line[pos] == '"') {
                    if (pos + 1 < line.size() && line[pos + 1] == '"') {
                        ++pos;
                    } else {
                        ++pos;
                        break;
                    }
                }
                field += line[pos];
            }
            // Anything between the closing quote and the delimiter belongs to the field.
            const std::size_t end = std::min(line.find(delimiter, pos), line.size());
            field += trimBlanks(line.substr(pos, end - pos));
            pos = end;
        } else {
            const std::size_t end = std::min(line.find(delimiter, pos), line.size());
            field = trimBlanks(line.substr(pos, end - pos));
            pos = end;
        }
        fields.push_back(std::move(field));
        if (pos >= line.size()) {
            return fields;
        }
        ++pos;  // past the delimiter: a field follows, even an empty one
    }
}

std::vector<std::string> splitAnySeparators(std::string_view line) {
    std::vector<std::string> fields;
    bool fieldDue = true;  // at the start, or after a comma or semicolon
    std::size_t pos = 0;
    while (true) {
        while (pos < line.size() && isBlank(line[pos])) {
            ++pos;
        }
        if (pos == line.size()) {
            return fields;
        }
        if (line[pos] == ',' || line[pos] == ';') {
            if (fieldDue) {
                fields.emplace_back();
            }
            fieldDue = true;
            ++pos;
            continue;
        }
        const std::size_t start = pos;
        while (pos < line.size() && !isBlank(line[pos]) && line[pos] != ',' && line[pos] != ';') {
            ++pos;
        }
        fields.emplace_back(line.substr(start, pos - start));
        fieldDue = false;
    }
}

std::vector<std::size_t> joinDateAndClock(std::vector<std::string>& fields) {
    std::vector<std::size_t> joined;
    for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
        if (isDateOnly(fields[i]) && clockOf(fields[i + 1])) {
            fields[i] += ' ';
            fields[i] += fields[i + 1];
            fields.erase(fields.begin() + static_cast<std::ptrdiff_t>(i) + 1);
            joined.push_back(i);
        }
    }
    return joined;
}

namespace {

// A decimal number; `expected` names what a field that is no number should
// have been ("a number", or "a number or a date" for a time).
FieldValue readNumberAs(std::string_view text, const char* expected) {
    FieldValue result;
    std::string_view body = text;
    if (!body.empty() && body.front() == '+') {
        body.remove_prefix(1);
    } else if (!body.empty() && body.front() == '-') {
        body.remove_prefix(1);
    }
    std::size_t end = decimalRun(body, 0);
    bool valid = end > 0;
    if (valid && end < body.size() && (lowerCase(body[end]) == 'e' || lowerCase(body[end]) == 'd')) {
        std::size_t pos = end + 1;
        if (pos < body.size() && (body[pos] == '+' || body[pos] == '-')) {
            ++pos;
        }
        const std::size_t digitsStart = pos;
        while (pos < body.size() && isDigit(body[pos])) {
            ++pos;
        }
        valid = pos > digitsStart;
        end = pos;
    }
    if (!valid || end != body.size()) {
        result.problem = expected;
        return result;
    }
    // The sign stays (from_chars reads a minus); the exponent letter becomes e.
    std::string digits(text.front() == '+' ? text.substr(1) : text);
    for (char& c : digits) {
        if (c == 'd' || c == 'D') {
            c = 'e';
        }
    }
    const auto [last, error] = std::from_chars(digits.data(), digits.data() + digits.size(), result.value);
    if (error == std::errc::result_out_of_range) {
        result.problem = "a number (out of range)";
    } else if (error != std::errc() || last != digits.data() + digits.size()) {
        result.problem = expected;
    }
    return result;
}

}  // namespace

FieldValue readNumber(std::string_view text) {
    return readNumberAs(text, "a number");
}

FieldValue readTime(std::string_view text) {
    if (looksLikeDate(text)) {
        return readDateTime(text);
    }
    return readNumberAs(text, "a number or a date");
}

FieldValue readExcelDate(std::string_view text) {
    FieldValue result;
    std::size_t pos = 0;
    const std::optional<int> month = shortNumberAt(text, pos, '/');
    const std::optional<int> day = month ? shortNumberAt(text, pos, '/') : std::nullopt;
    const std::optional<int> year = day ? digitsAt(text, pos, 4) : std::nullopt;
    const std::string_view rest = year ? trimBlanks(text.substr(pos + 4)) : std::string_view();
    const std::optional<Clock> clock = rest.empty() ? std::optional<Clock>(Clock{}) : excelClockOf(rest);
    if (!year || (pos + 4 < text.size() && !isBlank(text[pos + 4])) || !clock) {
        result.problem = "an EXCEL date (month/day/year h:mm:ss AM)";
        return result;
    }
    return julianDateOf(*year, *month, *day, *clock);
}

bool isMissingValue(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-') && text.size() == 4) {
        text.remove_prefix(1);
    }
    return text.empty() || equalIgnoringCase(text, "na") || equalIgnoringCase(text, "n/a") ||
           equalIgnoringCase(text, "nan");
}

std::string quoted(std::string_view text) {
    constexpr std::size_t kLongest = 40;
    bool cut = false;
    if (text.size() > kLongest) {
        std::size_t end = kLongest;
        while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
            --end;  // not inside a UTF-8 sequence
        }
        text = text.substr(0, end);
        cut = true;
    }
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    out += cut ? "...\"" : "\"";
    return out;
}

std::string countOf(std::size_t count, std::string_view noun) {
    return std::to_string(count) + " " + std::string(noun) + (count == 1 ? "" : "s");
}

}  // namespace kvw::readers::detail
