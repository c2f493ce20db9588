// The AAVSO extended format: parameter lines, the #NAME header line, one star
// and one filter per light curve. The rules are listed in light_curve.h.
#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>

#include "detail/table_columns.h"
#include "detail/text_fields.h"
#include "readers/light_curve.h"

namespace kvw::readers {

namespace {

using namespace detail;

const std::vector<std::string> kStandardColumns = {"NAME", "DATE", "MAG",  "MERR",  "FILT",  "TRANS", "MTYPE", "CNAME",
                                                   "CMAG", "KNAME", "KMAG", "AMASS", "GROUP", "CHART", "NOTES"};

char delimiterNamed(std::string_view value, const std::string& source, std::size_t line) {
    if (value.size() == 1) {
        return value.front();
    }
    value = trimBlanks(value);
    if (value.size() == 1) {
        return value.front();
    }
    if (equalIgnoringCase(value, "tab")) {
        return '\t';
    }
    const FieldValue code = readNumber(value);
    if (code.problem.empty() && code.value >= 32 && code.value <= 126 && code.value == static_cast<int>(code.value) &&
        value.find_first_not_of("0123456789") == std::string_view::npos) {
        return static_cast<char>(code.value);
    }
    throw ReadError(source + ":" + std::to_string(line) + ": cannot read " + quoted(value) +
                    " as a delimiter (one character, \"tab\" or an ASCII code)");
}

// The first of the names that the header has, in the order of the names.
std::optional<std::size_t> firstColumnNamed(const std::vector<std::string>& header,
                                            std::initializer_list<const char*> names) {
    for (const char* name : names) {
        if (const std::optional<std::size_t> index = columnNamed(header, name)) {
            return index;
        }
    }
    return std::nullopt;
}

TableColumn requiredColumn(const std::string& option, const std::vector<std::string>& header,
                           std::initializer_list<const char*> names, const std::string& source, const char* role) {
    if (!option.empty()) {
        return findColumn(option, header, source, role);
    }
    if (const auto index = firstColumnNamed(header, names)) {
        return {*index, header[*index]};
    }
    throw ReadError(source + ": no " + role + " column (looked for " + *names.begin() + " and the like)");
}

// The distinct values of a column, first spelling seen, with their counts.
struct Tally {
    std::vector<std::pair<std::string, std::size_t>> entries;

    void count(std::string_view value) {
        for (auto& [known, n] : entries) {
            if (equalIgnoringCase(known, value)) {
                ++n;
                return;
            }
        }
        entries.emplace_back(std::string(value), 1);
    }
    std::string list(bool withCounts) const {
        std::string text;
        for (const auto& [value, n] : entries) {
            text += (text.empty() ? "" : ", ") + (value.empty() ? std::string("(none)") : value);
            if (withCounts) {
                text += ": " + countOf(n, "point");
            }
        }
        return text;
    }
};

// The parameter lines read here: #DELIMITER= or #DELIM= (a comma without
// one) and #DATE=.
struct Parameters {
    char delimiter = ',';
    std::string date;  // the value of #DATE=, trimmed; empty without one
};

Parameters parametersOf(const std::vector<Line>& lines, const std::string& source) {
    Parameters parameters;
    for (const Line& line : lines) {
        const std::string_view text = trimBlanks(line.text);
        const std::size_t equals = text.find('=');
        if (!text.empty() && text.front() == '#' && equals != std::string_view::npos) {
            const std::string key = upperCase(trimBlanks(text.substr(1, equals - 1)));
            if (key == "DELIMITER" || key == "DELIM") {
                parameters.delimiter = delimiterNamed(line.text.substr(line.text.find('=') + 1), source, line.number);
            } else if (key == "DATE") {
                parameters.date = trimBlanks(text.substr(equals + 1));
            }
        }
    }
    return parameters;
}

// What #DATE= says of the dates.
struct DateType {
    timescale::TimeScale scale = timescale::TimeScale::unknown;
    bool excel = false;  // dates as Excel writes them
    std::string note;
};

DateType dateTypeNamed(std::string_view value) {
    using timescale::TimeScale;
    std::string name = upperCase(value);
    std::replace(name.begin(), name.end(), '-', '_');
    if (name == "JD" || name == "JD_UTC") {
        return {TimeScale::jdUtc, false, ""};
    }
    if (name == "HJD" || name == "HJD_UTC") {
        return {TimeScale::hjdUtc, false, ""};
    }
    if (name == "BJD_TDB") {
        return {TimeScale::bjdTdb, false, ""};
    }
    if (name == "EXCEL") {
        return {TimeScale::jdUtc, true, ""};
    }
    if (name == "BJD") {
        return {TimeScale::unknown, false,
                "#DATE=BJD does not say whether in TDB or UTC: the time scale is unknown (--time-scale bjd declares "
                "BJD_TDB)"};
    }
    return {};  // the report's date, as some tools write it: nothing said of the dates
}

// The column names (from a #NAME line, else the standard ones) and the data rows.
struct AavsoTable {
    std::vector<std::string> header = kStandardColumns;
    std::vector<TextRow> rows;
};

AavsoTable tableOf(const std::vector<Line>& lines, char delimiter) {
    AavsoTable table;
    for (const Line& line : lines) {
        const std::string_view text = trimBlanks(line.text);
        if (upperCase(text.substr(0, 5)) == "#NAME" && text.size() > 5 && text[5] == delimiter) {
            table.header = splitFields(text.substr(1), delimiter);
        } else if (!isBlankOrComment(text)) {
            table.rows.push_back({line.number, splitFields(line.text, delimiter)});
        }
    }
    return table;
}

TableColumns columnsOf(const std::vector<std::string>& header, const std::string& source,
                       const ReadOptions& options) {
    TableColumns columns;
    columns.time = requiredColumn(options.timeColumn, header,
                                  {"DATE", "DATE-OBS", "DATE_OBS", "JD", "HJD", "BJD", "TIME"}, source, "date");
    if (!valueColumnFromOptions(options, header, source, columns)) {
        columns.value = requiredColumn("", header, {"MAG", "MAGNITUDE"}, source, "magnitude");
    }
    if (!options.errorColumn.empty()) {
        columns.error = findColumn(options.errorColumn, header, source, "error");
        columns.hasError = true;
    } else if (const auto error = firstColumnNamed(header, {"MERR", "MAG_ERR", "MAGERR", "ERR", "ERROR"})) {
        columns.error = {*error, header[*error]};
        columns.hasError = true;
    }
    return columns;
}

// The rows of one star and one filter (the band's, when one is given); upper
// limits are no measurements. Rows left out are counted in the collector.
std::vector<TextRow> rowsToTime(AavsoTable& table, const TableColumns& columns, const std::string& source,
                                const std::string& band, PointCollector& collector) {
    const auto star = firstColumnNamed(table.header, {"NAME", "STAR", "STARID"});
    const auto filter = firstColumnNamed(table.header, {"FILT", "FILTER", "BAND"});
    if (!band.empty() && !filter) {
        throw ReadError(source + ": no filter column to pick the band " + quoted(band) + " from");
    }
    Tally stars;
    Tally filters;
    std::vector<TextRow> kept;
    kept.reserve(table.rows.size());
    for (TextRow& row : table.rows) {
        const auto fieldOf = [&](std::size_t index, const char* role) -> const std::string& {
            return fieldAt(row, columnAt(index, table.header, role), source);
        };
        if (star) {
            stars.count(fieldOf(*star, "star"));
        }
        if (filter) {
            const std::string& name = fieldOf(*filter, "filter");
            filters.count(name);
            if (!band.empty() && !equalIgnoringCase(name, band)) {
                collector.leaveOut("in the filter " + (name.empty() ? std::string("(none)") : name));
                continue;
            }
        }
        if (columns.kind == ValueKind::magnitude && fieldOf(columns.value.index, "magnitude").starts_with('<')) {
            collector.leaveOut("with an upper limit (<) as magnitude");
            continue;
        }
        kept.push_back(std::move(row));
    }
    if (stars.entries.size() > 1) {
        throw ReadError(source + ": several stars (" + stars.list(false) + "): give each star a file of its own");
    }
    if (!band.empty() && std::none_of(filters.entries.begin(), filters.entries.end(),
                                      [&](const auto& entry) { return equalIgnoringCase(entry.first, band); })) {
        throw ReadError(source + ": no point in the filter " + quoted(band) + " (the filters are " +
                        filters.list(true) + ")");
    }
    if (band.empty() && filters.entries.size() > 1) {
        throw ReadError(source + ": several filters (" + filters.list(true) + "): choose one with --band");
    }
    return kept;
}

}  // namespace

LightCurve readAavsoExtended(std::string_view content, const std::string& source, const ReadOptions& options) {
    const std::vector<Line> lines = splitLines(content);
    const Parameters parameters = parametersOf(lines, source);
    AavsoTable table = tableOf(lines, parameters.delimiter);
    const TableColumns columns = columnsOf(table.header, source, options);
    PointCollector collector(source, columns.kind);
    const std::vector<TextRow> kept = rowsToTime(table, columns, source, std::string(trimBlanks(options.band)),
                                                 collector);
    const DateType dates = dateTypeNamed(parameters.date);
    const TimeKinds kinds = collectRows(kept, columns, source, collector, dates.excel ? readExcelDate : readTime);
    LightCurve curve = collector.finish();
    settleTimeScale(curve, kinds, dates.scale, "#DATE=" + parameters.date);
    if (!dates.note.empty()) {
        curve.notes.push_back(dates.note);
    }
    return curve;
}

}  // namespace kvw::readers
