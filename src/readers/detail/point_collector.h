// From values read to a LightCurve: flux to magnitude, the count of each kind
// of point left out, the stable sort by time. Internal to the readers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "readers/light_curve.h"

namespace kvw::readers::detail {

enum class ValueKind { magnitude, flux };

// The reason a time or value is left out ("with a NaN TIME"), or nothing
// when it is finite; `label` names its column.
std::optional<std::string> notFiniteReason(double value, const std::string& label);

class PointCollector {
public:
    PointCollector(std::string source, ValueKind kind) : source_(std::move(source)), kind_(kind) {}

    // A point in file order; `error` NaN when it has none. A flux of zero or
    // less is left out.
    void add(double time, double value, double error);

    // Counts a point left out for `reason` ("with a non-zero QUALITY flag").
    void leaveOut(const std::string& reason);

    // The points sorted by time, with the notes; a ReadError when fewer than
    // two are left.
    LightCurve finish();

private:
    std::string source_;
    ValueKind kind_;
    std::vector<double> times_;
    std::vector<double> magnitudes_;
    std::vector<double> errors_;
    bool anyError_ = false;
    std::vector<std::pair<std::string, std::size_t>> leftOut_;  // in the order first met
};

}  // namespace kvw::readers::detail
