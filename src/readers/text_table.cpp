// Text tables: the delimiter, the header row and the default columns. The
// rules are listed in light_curve.h.
#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "detail/table_columns.h"
#include "detail/text_fields.h"
#include "readers/light_curve.h"

namespace kvw::readers {

namespace {

using namespace detail;

bool startsLikeNumber(std::string_view line) {
    const std::string_view text = trimBlanks(line);
    const char c = text.empty() ? ' ' : text.front();
    return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// Comma, else semicolon, else runs of blanks and tabs, as the row shows.
char delimiterOf(std::string_view row) {
    if (row.find(',') != std::string_view::npos) {
        return ',';
    }
    if (row.find(';') != std::string_view::npos) {
        return ';';
    }
    return '\0';
}

bool isHeaderRow(const std::vector<std::string>& fields) {
    return std::none_of(fields.begin(), fields.end(),
                        [](const std::string& field) { return readTime(field).problem.empty(); });
}

// A header name for matching: lower case, without a unit in (...) or [...],
// with "-" and blanks taken as "_".
std::string normalizedName(std::string_view name) {
    name = trimBlanks(name.substr(0, name.find_first_of("([")));
    std::string normal;
    for (const char c : name) {
        normal += (c == '-' || c == ' ' || c == '\t') ? '_' : (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    return normal;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool holds(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

bool isErrorName(std::string_view name) {
    return holds(name, "err") || holds(name, "sigma") || holds(name, "uncert") || name == "e" || name == "sig" ||
           name == "unc" || startsWith(name, "e_");
}

bool isTimeName(std::string_view name) {
    static constexpr std::array<std::string_view, 11> kNames = {
        "time", "t", "jd", "hjd", "bjd", "mjd", "btjd", "bkjd", "date", "date_obs", "dateobs"};
    static constexpr std::array<std::string_view, 6> kPrefixes = {"time_", "jd_", "hjd_", "bjd_", "mjd_", "date_"};
    return !isErrorName(name) &&
           (std::find(kNames.begin(), kNames.end(), name) != kNames.end() ||
            std::any_of(kPrefixes.begin(), kPrefixes.end(), [&](std::string_view p) { return startsWith(name, p); }));
}

bool isMagnitudeName(std::string_view name) {
    return !isErrorName(name) && (name == "m" || startsWith(name, "mag") || endsWith(name, "mag"));
}

bool isFluxName(std::string_view name) {
    return !isErrorName(name) && (name == "f" || holds(name, "flux"));
}

// An error name that speaks of something other than a value of `kind`.
bool isErrorOfOther(std::string_view name, ValueKind kind) {
    const bool ofTime = holds(name, "time") || holds(name, "jd") || holds(name, "date");
    const bool ofFlux = holds(name, "flux") || startsWith(name, "f");
    const bool ofMagnitude = holds(name, "mag") || startsWith(name, "m");
    return ofTime || (kind == ValueKind::magnitude ? ofFlux : ofMagnitude);
}

template <typename Predicate>
std::optional<std::size_t> firstNamed(const std::vector<std::string>& header, std::size_t skip, Predicate is) {
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (i != skip && is(normalizedName(header[i]))) {
            return i;
        }
    }
    return std::nullopt;
}

TableColumns chooseColumns(const std::vector<std::string>& header, const std::string& source,
                           const ReadOptions& options) {
    TableColumns columns;
    if (!options.timeColumn.empty()) {
        columns.time = findColumn(options.timeColumn, header, source, "time");
    } else {
        const auto time = firstNamed(header, header.size(), isTimeName);
        columns.time = columnAt(time.value_or(0), header, "time");
    }
    if (!valueColumnFromOptions(options, header, source, columns)) {
        const std::size_t skip = columns.time.index;
        if (const auto magnitude = firstNamed(header, skip, isMagnitudeName)) {
            columns.value = columnAt(*magnitude, header, "magnitude");
        } else if (const auto flux = firstNamed(header, skip, isFluxName)) {
            columns.value = columnAt(*flux, header, "flux");
            columns.kind = ValueKind::flux;
        } else {
            columns.value = columnAt(skip == 0 ? 1 : 0, header, "magnitude");
        }
    }
    if (!options.errorColumn.empty()) {
        columns.error = findColumn(options.errorColumn, header, source, "error");
        columns.hasError = true;
    } else if (const auto error = firstNamed(header, columns.value.index, [&](const std::string& name) {
                   return isErrorName(name) && !isErrorOfOther(name, columns.kind);
               })) {
        columns.error = columnAt(*error, header, "error");
        columns.hasError = true;
    }
    return columns;
}

// Column names written apart by two or more blanks or a tab ("BJD-TDB    norm. flux"),
// or by the delimiter; by single blanks when that does not give `wanted` names.
std::vector<std::string> namesApart(std::string_view text, char delimiter, std::size_t wanted) {
    if (delimiter != '\0') {
        return splitFields(text, delimiter);
    }
    std::vector<std::string> names;
    for (std::size_t pos = text.find_first_not_of(" \t"); pos < text.size();
         pos = text.find_first_not_of(" \t", pos)) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\t' &&
               !(text[end] == ' ' && end + 1 < text.size() && (text[end + 1] == ' ' || text[end + 1] == '\t'))) {
            ++end;
        }
        names.emplace_back(trimBlanks(text.substr(pos, end - pos)));
        pos = end;
    }
    return names.size() == wanted ? names : splitFields(text, '\0');
}

// A header row written as the last comment line before the first data row
// ("# BJD-TDB   norm. flux"): its names, when it names as many columns as the
// first data row holds and one of them says time, magnitude or flux.
std::vector<std::string> commentedHeader(std::string_view content, std::size_t firstDataLine, char delimiter,
                                         std::size_t width) {
    std::string_view comment;
    for (const Line& line : splitLines(content)) {
        if (line.number >= firstDataLine) {
            break;
        }
        const std::string_view text = trimBlanks(line.text);
        if (!text.empty() && text.front() == '#') {
            comment = text.substr(1);
        }
    }
    std::vector<std::string> names = namesApart(comment, delimiter, width);
    const bool named = std::any_of(names.begin(), names.end(), [](const std::string& name) {
        const std::string normal = normalizedName(name);
        return isTimeName(normal) || isMagnitudeName(normal) || isFluxName(normal);
    });
    return names.size() == width && named ? names : std::vector<std::string>();
}

}  // namespace

LightCurve readTextTable(std::string_view content, const std::string& source, const ReadOptions& options) {
    std::vector<Line> lines = splitLines(content);
    std::erase_if(lines, [](const Line& line) { return isBlankOrComment(line.text); });

    const auto firstData = std::find_if(lines.begin(), lines.end(),
                                        [](const Line& line) { return startsLikeNumber(line.text); });
    const char delimiter =
        lines.empty() ? '\0' : delimiterOf(firstData != lines.end() ? firstData->text : lines.front().text);
    // Without a header row the table is read as kvw reads its file: the
    // separators may change from line to line.
    const bool headed = !lines.empty() && isHeaderRow(splitFields(lines.front().text, delimiter));
    const auto fieldsOf = [&](std::string_view text) {
        return headed ? splitFields(text, delimiter) : splitAnySeparators(text);
    };

    std::vector<TextRow> rows;
    rows.reserve(lines.size());
    std::vector<std::size_t> firstRowJoins;
    std::size_t firstRowWidth = 0;
    for (const Line& line : lines) {
        TextRow row{line.number, fieldsOf(line.text)};
        const std::size_t width = row.fields.size();
        std::vector<std::size_t> joins;
        if (delimiter == '\0' || !headed) {
            joins = joinDateAndClock(row.fields);
        }
        if (rows.size() == 1) {
            firstRowJoins = std::move(joins);  // of the first row after a header row
            firstRowWidth = width;
        }
        rows.push_back(std::move(row));
    }

    std::vector<std::string> header;
    if (headed) {
        header = std::move(rows.front().fields);
        rows.erase(rows.begin());
        // Names of a date and a clock time split by a blank, as in the data rows.
        if (header.size() == firstRowWidth) {
            for (const std::size_t at : firstRowJoins) {
                header[at] += ' ' + header[at + 1];
                header.erase(header.begin() + static_cast<std::ptrdiff_t>(at) + 1);
            }
        }
    }

    if (!headed && !rows.empty()) {
        header = commentedHeader(content, rows.front().line, delimiter, rows.front().fields.size());
    }
    const TableColumns columns = chooseColumns(header, source, options);
    PointCollector collector(source, columns.kind);
    const TimeKinds kinds = collectRows(rows, columns, source, collector);
    LightCurve curve = collector.finish();
    settleTimeScale(curve, kinds, timescale::TimeScale::unknown, "");
    return curve;
}

}  // namespace kvw::readers
