#include "timing/smoothing.h"

#include <algorithm>
#include <cmath>

namespace kvw::timing {

double medianOf(std::vector<double>& values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

std::size_t runningMedianHalfSpan(std::size_t points) {
    return std::clamp<std::size_t>(points / 100, 1, 25);
}

std::vector<double> runningMedian(std::span<const double> values, std::size_t half) {
    std::vector<double> smoothed(values.size());
    std::vector<double> scratch;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t from = i >= half ? i - half : 0;
        const std::size_t to = std::min(values.size(), i + half + 1);
        scratch.assign(values.begin() + static_cast<std::ptrdiff_t>(from),
                       values.begin() + static_cast<std::ptrdiff_t>(to));
        smoothed[i] = medianOf(scratch);
    }
    return smoothed;
}

double runningMedianShrinkage(std::size_t half) {
    // The median of m Gaussian points scatters sqrt(pi / 2) / sqrt(m) as much as one.
    return 1.2533 / std::sqrt(static_cast<double>(2 * half + 1));
}

std::optional<double> secondDifferenceScatter(std::span<const double> times, std::span<const double> values,
                                              const std::vector<bool>& counted, std::size_t fewest) {
    std::vector<double> differences;
    std::vector<double> scales;  // the variance of a second difference in units of one point's
    for (std::size_t i = 1; i + 1 < values.size(); ++i) {
        const double span = times[i + 1] - times[i - 1];
        if (!(counted[i - 1] && counted[i] && counted[i + 1]) || !(span > 0)) {
            continue;
        }
        const double before = (times[i + 1] - times[i]) / span;
        const double after = 1 - before;
        differences.push_back(std::fabs(values[i] - before * values[i - 1] - after * values[i + 1]));
        scales.push_back(1 + before * before + after * after);
    }
    if (differences.empty() || differences.size() < fewest) {
        return std::nullopt;
    }
    return 1.4826 * medianOf(differences) / std::sqrt(medianOf(scales));
}

}  // namespace kvw::timing
