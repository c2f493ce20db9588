// The CSV and JSON writers of kvw-minima on rows made of the bytes: any file
// name, reason and flags (UTF-8 or not), any double (NaN and infinities
// among them), with or without a predicted eclipse and the method's detail.
// The JSON must parse; rows of numbers alone must never print nan or inf and
// keep their fourteen CSV fields.
#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "analysis/eclipse_timing.h"
#include "minima/output.h"

namespace {

using kvw::timing::Eclipse;
using kvw::timing::EclipseWindow;
using kvw::timing::TimedEclipse;

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool empty() const { return size_ == 0; }
    std::uint8_t byte() {
        if (size_ == 0) {
            return 0;
        }
        --size_;
        return *data_++;
    }
    double number() {
        double value = 0;
        const std::size_t count = std::min<std::size_t>(sizeof value, size_);
        std::memcpy(&value, data_, count);
        data_ += count;
        size_ -= count;
        return value;
    }
    std::string text() {
        std::string text;
        for (std::uint8_t length = byte() % 24; length > 0 && size_ > 0; --length) {
            text += static_cast<char>(byte());
        }
        return text;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

std::vector<double> numbers(Bytes& bytes) {
    std::vector<double> values(bytes.byte() % 6);
    for (double& value : values) {
        value = bytes.number();
    }
    return values;
}

TimedEclipse eclipseOf(Bytes& bytes, bool withText) {
    TimedEclipse e;
    const std::uint8_t shape = bytes.byte();
    e.points = bytes.byte();
    e.firstTime = bytes.number();
    e.lastTime = bytes.number();
    e.status = static_cast<kvw::timing::Status>(shape % 5);
    for (std::optional<double>* value : {&e.time, &e.error, &e.errorClassic, &e.meanValue, &e.oMinusC}) {
        if (bytes.byte() & 1) {
            *value = bytes.number();
        }
    }
    if (withText) {
        e.reason = bytes.text();
        for (std::uint8_t n = bytes.byte() % 3; n > 0; --n) {
            e.flags.push_back(bytes.text());
        }
    }
    if (shape & 8) {
        kvw::analysis::ResampledCurve curve;
        curve.windowStart = bytes.number();
        curve.windowEnd = bytes.number();
        curve.step = bytes.number();
        const std::vector<double> trialTimes = numbers(bytes);
        std::vector<double> sums = numbers(bytes);
        sums.resize(trialTimes.size());
        const std::vector<std::int32_t> pairCounts(sums.size(), 1);
        kvw::analysis::MinimumFit fit;
        fit.improper = !(shape & 16);
        fit.a = bytes.number();
        fit.b = bytes.number();
        fit.c = bytes.number();
        const kvw::analysis::SymmetryScan scan{static_cast<std::int32_t>(sums.size()), trialTimes, sums, pairCounts};
        e.method = kvw::analysis::EclipseTiming(curve, scan, fit);
    }
    return e;
}

// Rows of numbers alone: a plain name, no reason, no flags.
void checkNumbersAlone(const std::vector<Eclipse>& rows) {
    std::ostringstream csv;
    kvw::minima::writeCsv(csv, rows);
    const std::string text = csv.str();
    if (text.find("nan") != std::string::npos || text.find("inf") != std::string::npos) {
        __builtin_trap();
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (std::count(line.begin(), line.end(), ',') != 13) {
            __builtin_trap();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    std::deque<std::string> names;
    std::vector<Eclipse> rows;
    std::vector<Eclipse> plainRows;
    while (!bytes.empty() && rows.size() < 16) {
        names.push_back(bytes.text());
        std::optional<EclipseWindow> predicted;
        if (bytes.byte() & 1) {
            EclipseWindow w;
            w.cycle = bytes.number();
            w.predicted = bytes.number();
            w.halfWidth = bytes.number();
            w.type = static_cast<kvw::timing::EclipseType>(bytes.byte() % 3);
            predicted = w;
        }
        Eclipse row{{names.back(), "BJD_TDB", {}, {}, {}}, 0, 0, predicted, eclipseOf(bytes, true)};
        Eclipse plain = row;
        plain.curve.source = "f";
        plain.timed.reason.clear();
        plain.timed.flags.clear();
        rows.push_back(std::move(row));
        plainRows.push_back(std::move(plain));
    }
    std::ostringstream csv;
    kvw::minima::writeCsv(csv, rows);
    std::ostringstream json;
    kvw::minima::writeJson(json, rows);
    if (!nlohmann::json::accept(json.str())) {
        __builtin_trap();
    }
    checkNumbersAlone(plainRows);
    return 0;
}
