// The lexical layer shared by the text readers: lines, fields, numbers and
// ISO 8601 date-times. Internal to the readers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kvw::readers::detail {

struct Line {
    std::size_t number;  // 1-based
    std::string_view text;
};

// Splits at CR LF, LF or a lone CR, after a leading UTF-8 byte-order mark.
std::vector<Line> splitLines(std::string_view content);

// Without leading and trailing blanks and tabs.
std::string_view trimBlanks(std::string_view text);

// Blank, or a comment: the first non-blank character is #.
bool isBlankOrComment(std::string_view line);

// The text in upper case (ASCII letters only).
std::string upperCase(std::string_view text);
bool equalIgnoringCase(std::string_view a, std::string_view b);

// A delimiter of '\0' means runs of blanks and tabs. Between other delimiters,
// fields are trimmed and may be quoted ("..." with "" for a quote; a quote
// without its end runs to the end of the line).
std::vector<std::string> splitFields(std::string_view line, char delimiter);

// Splits a row as kvw reads its two numbers: fields are separated by a comma
// or a semicolon with any blanks around it, or by blanks and tabs alone; a
// comma or semicolon right after another (or first on the line) gives an
// empty field. No quoting.
std::vector<std::string> splitAnySeparators(std::string_view line);

// Joins each date field (YYYY-MM-DD) directly followed by a clock-time field
// into one date-time field; returns the indices (after joining) of the joined
// fields. For rows split at runs of blanks, where the blank between date and
// time splits one value in two.
std::vector<std::size_t> joinDateAndClock(std::vector<std::string>& fields);

// A value read from a field; `problem` is empty when it was read, else what
// the field could not be read as ("a number", "a date (month 13)").
struct FieldValue {
    double value = 0;
    std::string problem;
    bool calendarDate = false;  // a UTC calendar date turned into a Julian date
};

// A decimal number; no hexadecimal, no infinities or NaN.
FieldValue readNumber(std::string_view text);

// A time: a number of days, or an ISO 8601 UTC date-time as a Julian date.
FieldValue readTime(std::string_view text);

// A date as Excel writes it (the AAVSO format's #DATE=EXCEL): month/day/year,
// optionally a clock time h:mm, h:mm:ss or h:mm:ss.fff and AM or PM (a.m.,
// p.m.; without them the clock runs to 23), as a Julian date in UTC.
FieldValue readExcelDate(std::string_view text);

// "", "na", "n/a" or "nan" in any case, with an optional sign before nan.
bool isMissingValue(std::string_view text);

// The field quoted for a message, with control bytes escaped and a long text cut.
std::string quoted(std::string_view text);

// "1 point" / "2 points".
std::string countOf(std::size_t count, std::string_view noun);

}  // namespace kvw::readers::detail
