#include "minima/output.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kvw::minima {

std::string shortestText(double value) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    return error == std::errc() ? std::string(text, end) : std::string();
}

const char* typeName(timing::EclipseType type) {
    switch (type) {
        case timing::EclipseType::primary:
            return "primary";
        case timing::EclipseType::secondary:
            return "secondary";
        case timing::EclipseType::none:
            break;
    }
    return "";
}

namespace {

std::string joined(const std::vector<std::string>& words, char separator) {
    std::string text;
    for (const std::string& word : words) {
        if (!text.empty()) {
            text += separator;
        }
        text += word;
    }
    return text;
}

// A CSV field, quoted when it holds a comma, a quote or a line end.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

// A missing cell is an empty field; a number is never "nan" or "inf" in a table.
std::string csvCell(const Cell& cell) {
    if (const auto* count = std::get_if<std::int64_t>(&cell)) {
        return std::to_string(*count);
    }
    if (const auto* number = std::get_if<double>(&cell)) {
        return shortestText(*number);
    }
    if (const auto* text = std::get_if<std::string>(&cell)) {
        return csvField(*text);
    }
    return {};
}

nlohmann::ordered_json jsonNumber(const std::optional<double>& value) {
    return value && std::isfinite(*value) ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
}

// A cell of the table in JSON: a missing number null, a missing text "".
nlohmann::ordered_json jsonCell(const Cell& cell, CellKind kind) {
    if (const auto* count = std::get_if<std::int64_t>(&cell)) {
        return *count;
    }
    if (const auto* number = std::get_if<double>(&cell)) {
        return *number;
    }
    if (const auto* text = std::get_if<std::string>(&cell)) {
        return *text;
    }
    return kind == CellKind::text ? nlohmann::ordered_json("") : nlohmann::ordered_json(nullptr);
}

// Non-finite values (a parabola opening downwards can give them) are null in JSON.
nlohmann::ordered_json jsonNumbers(const std::vector<double>& values) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const double value : values) {
        list.push_back(jsonNumber(value));
    }
    return list;
}

// The method's work on a row: the branch window, the grid step, every trial
// and the parabola of a proper minimum.
void addMethodItems(nlohmann::ordered_json& items, const analysis::EclipseTiming& method) {
    const analysis::ResampledCurve& curve = method.curve;
    const analysis::SymmetryScan& scan = method.scan;
    items["branch_window"] = {{"start", curve.windowStart}, {"end", curve.windowEnd}};
    items["grid_step"] = curve.step;
    items["day_offset"] = curve.dayOffset;
    items["trials"] = {{"time", jsonNumbers(analysis::absoluteTimes(scan.trialTimes, curve.dayOffset))},
                       {"pairs", std::vector<std::int32_t>(scan.pairCounts.begin(), scan.pairCounts.end())},
                       {"sum", jsonNumbers(std::vector<double>(scan.sums.begin(), scan.sums.end()))}};
    if (!method.fit.improper) {
        items["parabola"] = {{"a", jsonNumber(method.fit.a)},
                             {"b", jsonNumber(method.fit.b)},
                             {"c", jsonNumber(method.fit.c)},
                             {"origin", curve.dayOffset},
                             {"smallest_trial", method.fit.smallestTrial}};
    }
}

}  // namespace

std::span<const Column> tableColumns() {
    static constexpr Column columns[] = {
        {"file", CellKind::text},
        {"cycle", CellKind::number},
        {"type", CellKind::text},
        {"predicted", CellKind::number},
        {"half_width", CellKind::number},
        {"points", CellKind::count},
        {"time", CellKind::number},
        {"error", CellKind::number},
        {"error_classic", CellKind::number},
        {"mean_value", CellKind::number},
        {"o_c", CellKind::number},
        {"time_scale", CellKind::text},
        {"status", CellKind::text},
        {"flags", CellKind::text},
    };
    return columns;
}

std::vector<Cell> rowCells(const timing::Eclipse& row) {
    const timing::TimedEclipse& e = row.timed;
    const auto number = [](const std::optional<double>& value) {
        return value && std::isfinite(*value) ? Cell(*value) : Cell();
    };
    const std::optional<timing::EclipseWindow>& predicted = row.predicted;
    return {std::string(row.curve.source),
            number(predicted ? std::optional(predicted->cycle) : std::nullopt),
            predicted ? Cell(std::string(typeName(predicted->type))) : Cell(),
            number(predicted ? std::optional(predicted->predicted) : std::nullopt),
            number(predicted ? std::optional(predicted->halfWidth) : std::nullopt),
            static_cast<std::int64_t>(e.points),
            number(e.time),
            number(e.error),
            number(e.errorClassic),
            number(e.meanValue),
            number(e.oMinusC),
            std::string(row.curve.timeScale),
            std::string(timing::statusName(e.status)),
            joined(e.flags, ';')};
}

void writeCsv(std::ostream& out, std::span<const timing::Eclipse> rows) {
    const std::span<const Column> columns = tableColumns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        out << (i == 0 ? "" : ",") << columns[i].name;
    }
    out << '\n';
    for (const timing::Eclipse& row : rows) {
        const std::vector<Cell> cells = rowCells(row);
        for (std::size_t i = 0; i < cells.size(); ++i) {
            out << (i == 0 ? "" : ",") << csvCell(cells[i]);
        }
        out << '\n';
    }
}

void writeJson(std::ostream& out, std::span<const timing::Eclipse> rows) {
    const std::span<const Column> columns = tableColumns();
    nlohmann::ordered_json eclipses = nlohmann::ordered_json::array();
    for (const timing::Eclipse& row : rows) {
        const timing::TimedEclipse& e = row.timed;
        const std::vector<Cell> cells = rowCells(row);
        nlohmann::ordered_json item;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            // The JSON's own: the reason before the flags, and the flags as a list.
            if (std::string_view(columns[i].name) == "flags") {
                item["reason"] = e.reason;
                item["flags"] = e.flags;
            } else {
                item[columns[i].name] = jsonCell(cells[i], columns[i].kind);
            }
        }
        item["window"] = {{"start", jsonNumber(e.firstTime)}, {"end", jsonNumber(e.lastTime)}};
        if (e.method) {
            addMethodItems(item, *e.method);
        }
        eclipses.push_back(std::move(item));
    }
    nlohmann::ordered_json document = {{"program", "kvw-minima"}, {"version", KVW_VERSION}, {"eclipses", eclipses}};
    // A file name need not be UTF-8 (an old archive in Latin-1): bytes that
    // are not become U+FFFD, as JSON holds text only.
    out << document.dump(1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
}

}  // namespace kvw::minima
