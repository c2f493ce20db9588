// Points given in memory, read by the rules of the file readers.
#include <algorithm>
#include <cmath>
#include <string>

#include "base/precondition.h"
#include "detail/point_collector.h"
#include "readers/light_curve.h"

namespace kvw::readers {

LightCurve readPoints(const std::string& source, std::span<const double> times, std::span<const double> values,
                      std::span<const double> errors, bool flux) {
    require(values.size() == times.size() && (errors.empty() || errors.size() == times.size()),
            "one value (and one error, if any) per time");
    const std::string valueLabel = flux ? "flux" : "magnitude";
    detail::PointCollector collector(source, flux ? detail::ValueKind::flux : detail::ValueKind::magnitude);
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (const auto reason = detail::notFiniteReason(times[i], "time")) {
            collector.leaveOut(*reason);
        } else if (const auto reason = detail::notFiniteReason(values[i], valueLabel)) {
            collector.leaveOut(*reason);
        } else {
            collector.add(times[i], values[i], errors.empty() ? std::nan("") : errors[i]);
        }
    }
    return collector.finish();
}

bool readAsGiven(std::span<const double> times, std::span<const double> magnitudes) {
    const auto finite = [](double value) { return std::isfinite(value); };
    return times.size() >= 2 && magnitudes.size() == times.size() && std::all_of(times.begin(), times.end(), finite) &&
           std::all_of(magnitudes.begin(), magnitudes.end(), finite) && std::is_sorted(times.begin(), times.end());
}

}  // namespace kvw::readers
