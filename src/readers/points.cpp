#include "readers/points.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "linalg/extended.h"
#include "readers/text_fields.h"

namespace kvw::readers::detail {

namespace {

using linalg::Extended;

// d(-2.5 log10 f) = 2.5/ln 10 * df/f.
const Extended kMagnitudesPerRelativeFlux = 2.5L / std::log(10.0L);

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

template <typename T>
std::vector<T> inOrder(const std::vector<T>& values, const std::vector<std::size_t>& order) {
    std::vector<T> sorted;
    sorted.reserve(order.size());
    for (const std::size_t i : order) {
        sorted.push_back(values[i]);
    }
    return sorted;
}

}  // namespace

void PointCollector::add(double time, double value, double error) {
    if (kind_ == ValueKind::flux) {
        if (!(value > 0)) {
            leaveOut("with a flux of zero or less");
            return;
        }
        const Extended flux = value;
        error = linalg::store(kMagnitudesPerRelativeFlux * error / flux);
        value = linalg::store(-2.5L * std::log10(flux));
    }
    times_.push_back(time);
    magnitudes_.push_back(value);
    errors_.push_back(error);
    anyError_ = anyError_ || !std::isnan(error);
}

void PointCollector::leaveOut(const std::string& reason) {
    for (auto& [known, count] : leftOut_) {
        if (known == reason) {
            ++count;
            return;
        }
    }
    leftOut_.emplace_back(reason, 1);
}

LightCurve PointCollector::finish() {
    LightCurve curve;
    curve.source = source_;
    for (const auto& [reason, count] : leftOut_) {
        curve.notes.push_back("left out " + countOf(count, "point") + " " + reason);
    }
    if (times_.size() < 2) {
        std::string message = source_ + ": " + (times_.empty() ? "no point" : "only 1 point") +
                              " to time, at least 2 are needed";
        for (std::size_t i = 0; i < curve.notes.size(); ++i) {
            message += (i == 0 ? " (" : "; ") + curve.notes[i];
        }
        throw ReadError(curve.notes.empty() ? message : message + ")");
    }
    if (!anyError_) {
        errors_.clear();
    }
    if (std::is_sorted(times_.begin(), times_.end())) {
        curve.times = std::move(times_);
        curve.magnitudes = std::move(magnitudes_);
        curve.errors = std::move(errors_);
    } else {
        std::vector<std::size_t> order(times_.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::stable_sort(order.begin(), order.end(),
                         [this](std::size_t a, std::size_t b) { return times_[a] < times_[b]; });
        curve.times = inOrder(times_, order);
        curve.magnitudes = inOrder(magnitudes_, order);
        curve.errors = errors_.empty() ? errors_ : inOrder(errors_, order);
        curve.notes.push_back("sorted by time: the points were not in time order");
    }
    return curve;
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
    for (std::size_t i = 0; i < header.size(); ++i) {
        if (equalIgnoringCase(header[i], wanted)) {
            return {i, header[i]};
        }
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

void collectRows(const std::vector<TextRow>& rows, const TableColumns& columns, const std::string& source,
                 PointCollector& collector) {
    const char* valueName = columns.kind == ValueKind::flux ? "flux" : "magnitude";
    const std::string noTime = "with a missing time (empty, na or nan)";
    const std::string noValue = std::string("with a missing ") + valueName + " (empty, na or nan)";
    for (const TextRow& row : rows) {
        const auto fieldOf = [&](const TableColumn& column) -> const std::string& {
            if (column.index >= row.fields.size()) {
                throw ReadError(placeOf(source, row.line, column) + "missing (the row has " +
                                countOf(row.fields.size(), "field") + ")");
            }
            return row.fields[column.index];
        };
        const auto valueOf = [&](const TableColumn& column, const std::string& text, bool isTime) {
            const FieldValue read = isTime ? readTime(text) : readNumber(text);
            if (!read.problem.empty()) {
                throw ReadError(placeOf(source, row.line, column) + "cannot read " + quoted(text) + " as " +
                                read.problem);
            }
            return read.value;
        };
        const std::string& timeText = fieldOf(columns.time);
        const std::string& valueText = fieldOf(columns.value);
        const std::string* errorText = columns.hasError ? &fieldOf(columns.error) : nullptr;
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
}

}  // namespace kvw::readers::detail
