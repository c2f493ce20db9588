#include "detail/point_collector.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "detail/text_fields.h"
#include "linalg/extended.h"

namespace kvw::readers::detail {

namespace {

using linalg::Extended;

// d(-2.5 log10 f) = 2.5/ln 10 * df/f.
const Extended kMagnitudesPerRelativeFlux = 2.5L / std::log(10.0L);

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

std::optional<std::string> notFiniteReason(double value, const std::string& label) {
    if (std::isnan(value)) {
        return "with a NaN " + label;
    }
    if (std::isinf(value)) {
        return "with an infinite " + label;
    }
    return std::nullopt;
}

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
        std::string message = (source_.empty() ? "" : source_ + ": ") + (times_.empty() ? "no point" : "only 1 point") +
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

}  // namespace kvw::readers::detail
