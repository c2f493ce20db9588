#include "detail/table_columns.h"

#include <algorithm>
#include <cmath>

#include "detail/text_fields.h"

namespace kvw::readers::detail {

namespace {

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<std::size_t> columnNamed(const std::vector<std::string>& header, std::string_view name) {
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (equalIgnoringCase(header[i], name)) {
            return i;
        }
    }
    return std::nullopt;
}

TableColumn columnAt(std::size_t index, const std::vector<std::string>& header, const char* role) {
    return {index, index < header.size() && !header[index].empty() ? header[index] : std::string(role)};
}

TableColumn findColumn(const std::string& option, const std::vector<std::string>& header,
                       const std::string& source, const char* role) {
    const std::string_view wanted = trimBlanks(option);
    if (allDigits(wanted)) {
        const bool zero = wanted.find_first_not_of('0') == std::string_view::npos;
        if (zero || wanted.size() > 9) {
            throw ReadError(source + ": no column " + std::string(wanted) +
                            (zero ? " (columns are numbered from 1)" : " (too large a number)"));
        }
        return columnAt(std::stoul(std::string(wanted)) - 1, header, role);
    }
    if (header.empty()) {
        throw ReadError(source + ": no column named " + quoted(wanted) + ": the file has no header row");
    }
    if (const std::optional<std::size_t> named = columnNamed(header, wanted)) {
        return {*named, header[*named]};
    }
    std::string names;
    for (const std::string& name : header) {
        names += (names.empty() ? "" : ", ") + name;
    }
    throw ReadError(source + ": no column named " + quoted(wanted) + " (the columns are " + names + ")");
}

bool valueColumnFromOptions(const ReadOptions& options, const std::vector<std::string>& header,
                            const std::string& source, TableColumns& columns) {
    if (!options.magColumn.empty() && !options.fluxColumn.empty()) {
        throw ReadError(source + ": give a magnitude column or a flux column, not both");
    }
    if (!options.magColumn.empty()) {
        columns.value = findColumn(options.magColumn, header, source, "magnitude");
        columns.kind = ValueKind::magnitude;
        return true;
    }
    if (!options.fluxColumn.empty()) {
        columns.value = findColumn(options.fluxColumn, header, source, "flux");
        columns.kind = ValueKind::flux;
        return true;
    }
    return false;
}

std::string placeOf(const std::string& source, std::size_t line, const TableColumn& column) {
    return source + ":" + std::to_string(line) + ": column " + std::to_string(column.index + 1) + " (" +
           column.label + "): ";
}

const std::string& fieldAt(const TextRow& row, const TableColumn& column, const std::string& source) {
    if (column.index >= row.fields.size()) {
        throw ReadError(placeOf(source, row.line, column) + "missing (the row has " +
                        countOf(row.fields.size(), "field") + ")");
    }
    return row.fields[column.index];
}

TimeKinds collectRows(const std::vector<TextRow>& rows, const TableColumns& columns, const std::string& source,
                      PointCollector& collector, FieldValue (*readTimeField)(std::string_view)) {
    TimeKinds kinds;
    const char* valueName = columns.kind == ValueKind::flux ? "flux" : "magnitude";
    const std::string noTime = "with a missing time (empty, na or nan)";
    const std::string noValue = std::string("with a missing ") + valueName + " (empty, na or nan)";
    for (const TextRow& row : rows) {
        const auto valueOf = [&](const TableColumn& column, const std::string& text, bool isTime) {
            const FieldValue read = isTime ? readTimeField(text) : readNumber(text);
            if (!read.problem.empty()) {
                throw ReadError(placeOf(source, row.line, column) + "cannot read " + quoted(text) + " as " +
                                read.problem);
            }
            if (isTime) {
                ++(read.calendarDate ? kinds.calendarDates : kinds.numbers);
            }
            return read.value;
        };
        const std::string& timeText = fieldAt(row, columns.time, source);
        const std::string& valueText = fieldAt(row, columns.value, source);
        const std::string* errorText = columns.hasError ? &fieldAt(row, columns.error, source) : nullptr;
        if (isMissingValue(timeText)) {
            collector.leaveOut(noTime);
            continue;
        }
        const double time = valueOf(columns.time, timeText, true);
        if (isMissingValue(valueText)) {
            collector.leaveOut(noValue);
            continue;
        }
        const double value = valueOf(columns.value, valueText, false);
        double error = std::nan("");
        if (errorText != nullptr && !isMissingValue(*errorText)) {
            error = valueOf(columns.error, *errorText, false);
        }
        collector.add(time, value, error);
    }
    return kinds;
}

void settleTimeScale(LightCurve& curve, const TimeKinds& kinds, timescale::TimeScale numberScale,
                     const std::string& numberSource) {
    using timescale::TimeScale;
    if (kinds.calendarDates == 0) {
        curve.timeScale = numberScale;
        curve.timeScaleSource = numberScale == TimeScale::unknown ? std::string() : numberSource;
        return;
    }
    if (numberScale != TimeScale::unknown && numberScale != TimeScale::jdUtc) {
        throw ReadError(curve.source + ": " + numberSource + " says the times are " +
                        std::string(timescale::scaleName(numberScale)) +
                        ", but calendar dates are UTC: correct the header or the dates");
    }
    if (kinds.numbers > 0 && numberScale == TimeScale::unknown) {
        curve.notes.push_back("the time column mixes calendar dates (UTC) with numbers of no stated scale: the "
                              "time scale is unknown");
        return;
    }
    curve.timeScale = TimeScale::jdUtc;
    curve.timeScaleSource = numberScale == TimeScale::jdUtc ? numberSource : "calendar dates";
}

}  // namespace kvw::readers::detail
