#include "minima/output.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
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

// A value that is not finite is missing: never "nan" or "inf" in a table.
std::string csvNumber(const std::optional<double>& value) {
    return value && std::isfinite(*value) ? shortestText(*value) : std::string();
}

nlohmann::ordered_json jsonNumber(const std::optional<double>& value) {
    return value && std::isfinite(*value) ? nlohmann::ordered_json(*value) : nlohmann::ordered_json(nullptr);
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

void writeCsv(std::ostream& out, std::span<const timing::Eclipse> rows) {
    out << "file,cycle,type,predicted,half_width,points,time,error,error_classic,mean_value,o_c,time_scale,status,"
           "flags\n";
    for (const timing::Eclipse& row : rows) {
        const timing::TimedEclipse& e = row.timed;
        out << csvField(std::string(row.curve.source)) << ',';
        if (row.predicted) {
            out << csvNumber(row.predicted->cycle) << ',' << typeName(row.predicted->type) << ','
                << csvNumber(row.predicted->predicted) << ',' << csvNumber(row.predicted->halfWidth) << ',';
        } else {
            out << ",,,,";
        }
        out << e.points << ',' << csvNumber(e.time) << ',' << csvNumber(e.error) << ',' << csvNumber(e.errorClassic)
            << ',' << csvNumber(e.meanValue) << ',' << csvNumber(e.oMinusC) << ',' << row.curve.timeScale << ','
            << timing::statusName(e.status) << ',' << csvField(joined(e.flags, ';')) << '\n';
    }
}

void writeJson(std::ostream& out, std::span<const timing::Eclipse> rows) {
    nlohmann::ordered_json eclipses = nlohmann::ordered_json::array();
    for (const timing::Eclipse& row : rows) {
        const timing::TimedEclipse& e = row.timed;
        nlohmann::ordered_json item;
        item["file"] = std::string(row.curve.source);
        item["cycle"] = row.predicted ? jsonNumber(row.predicted->cycle) : nlohmann::ordered_json(nullptr);
        item["type"] = row.predicted ? typeName(row.predicted->type) : "";
        item["predicted"] = row.predicted ? jsonNumber(row.predicted->predicted) : nlohmann::ordered_json(nullptr);
        item["half_width"] = row.predicted ? jsonNumber(row.predicted->halfWidth) : nlohmann::ordered_json(nullptr);
        item["points"] = e.points;
        item["time"] = jsonNumber(e.time);
        item["error"] = jsonNumber(e.error);
        item["error_classic"] = jsonNumber(e.errorClassic);
        item["mean_value"] = jsonNumber(e.meanValue);
        item["o_c"] = jsonNumber(e.oMinusC);
        item["time_scale"] = std::string(row.curve.timeScale);
        item["status"] = timing::statusName(e.status);
        item["reason"] = e.reason;
        item["flags"] = e.flags;
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
