#include "analysis/branch.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <queue>
#include <stdexcept>
#include <string>
#include <vector>

#include "linalg/extended.h"
#include "textio/io_failure.h"
#include "textio/source_location.h"

namespace kvw::analysis {

namespace {

using linalg::Extended;
using linalg::store;

[[noreturn]] void cannotResample(const ObservationSeries& series, const std::string& why,
                                 textio::SourceLocation where = textio::SourceLocation::current()) {
    throw textio::IoFailure(where, textio::kFileUnit, series.source,
                            "The light curve cannot be resampled: " + why);
}

void requireFinite(const ObservationSeries& series, double value, const char* what) {
    if (!std::isfinite(value)) {
        cannotResample(series, std::string(what) + " is not finite");
    }
}

std::int32_t deepestObservation(const Table& m) {
    double largest = m[0];
    for (const double magnitude : m) {
        if (magnitude > largest) {
            largest = magnitude;
        }
    }
    std::int32_t deepest = 0;  // none when the largest is NaN; the crossing is then NaN too
    for (std::size_t i = 0; i < m.size(); ++i) {
        if (m[i] == largest) {
            deepest = static_cast<std::int32_t>(i + 1);
        }
    }
    return deepest;
}

// The first e with M(e) and M(e+1) on opposite sides of L (fainter than L on
// one side only); n when there is none.
std::int32_t firstCrossing(const Table& m, double level) {
    const std::size_t n = m.size();
    for (std::size_t e = 0; e + 1 < n; ++e) {
        if ((m[e] > level && m[e + 1] <= level) || (m[e] <= level && m[e + 1] > level)) {
            return static_cast<std::int32_t>(e + 1);
        }
    }
    return static_cast<std::int32_t>(n);
}

// For each grid time x, the first segment k (from 0) with T(k) - D <= x < T(k+1) - D,
// the differences evaluated in extended precision; the last segment when none
// holds x.
//
// Times in increasing order: the segments follow each other, so the one that
// holds x lies just before the first time past x (binary search).
std::vector<std::int32_t> segmentsOfSortedTimes(const Table& t, double dayOffset, const Table& x) {
    const std::size_t segments = t.size() - 1;
    const auto fallback = static_cast<std::int32_t>(segments - 1);
    std::vector<std::int32_t> found(x.size(), fallback);
    for (std::size_t j = 0; j < x.size(); ++j) {
        const Extended time = x[j];
        std::size_t low = 1;  // the first index whose time lies past x, in [1, n]
        std::size_t high = t.size();
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (static_cast<Extended>(t[middle]) - dayOffset > time) {
                high = middle;
            } else {
                low = middle + 1;
            }
        }
        if (low < t.size() && static_cast<Extended>(t[low - 1]) - dayOffset <= time) {
            found[j] = static_cast<std::int32_t>(low - 1);
        }
    }
    return found;
}

// Times in any order: a sweep over the grid times in increasing order keeps
// the segments that have begun in a heap by index; a segment whose end lies at
// or below the current time can never hold a later one and leaves the heap.
std::vector<std::int32_t> segmentsOfUnsortedTimes(const Table& t, double dayOffset, const Table& x) {
    const std::size_t segments = t.size() - 1;
    struct Segment {
        Extended begin;
        Extended end;
        std::int32_t index;
    };
    std::vector<Segment> usable;
    usable.reserve(segments);
    for (std::size_t k = 0; k < segments; ++k) {
        const Extended begin = static_cast<Extended>(t[k]) - dayOffset;
        const Extended end = static_cast<Extended>(t[k + 1]) - dayOffset;
        if (begin < end) {  // an empty, reversed or NaN segment holds no time
            usable.push_back({begin, end, static_cast<std::int32_t>(k)});
        }
    }
    std::sort(usable.begin(), usable.end(), [](const Segment& a, const Segment& b) { return a.begin < b.begin; });

    std::vector<std::size_t> order(x.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&x](std::size_t a, std::size_t b) { return x[a] < x[b]; });

    const auto fallback = static_cast<std::int32_t>(segments - 1);
    std::vector<std::int32_t> found(x.size(), fallback);
    auto laterIndex = [&usable](std::size_t a, std::size_t b) { return usable[a].index > usable[b].index; };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(laterIndex)> open(laterIndex);
    std::size_t nextToOpen = 0;
    for (const std::size_t j : order) {
        const Extended time = x[j];
        while (nextToOpen < usable.size() && usable[nextToOpen].begin <= time) {
            open.push(nextToOpen++);
        }
        while (!open.empty() && !(time < usable[open.top()].end)) {
            open.pop();
        }
        if (!open.empty()) {
            found[j] = usable[open.top()].index;
        }
    }
    return found;
}

std::vector<std::int32_t> firstContainingSegments(const Table& t, double dayOffset, const Table& x) {
    bool sorted = true;
    for (std::size_t k = 1; k < t.size() && sorted; ++k) {
        sorted = t[k - 1] <= t[k];  // false for a NaN too
    }
    return sorted ? segmentsOfSortedTimes(t, dayOffset, x) : segmentsOfUnsortedTimes(t, dayOffset, x);
}

}  // namespace

ResampledCurve selectBranchAndResample(const ObservationSeries& series, Table gridTimes, Table gridMagnitudes) {
    const Table& t = series.times;
    const Table& m = series.magnitudes;
    if (t.size() < 2 || m.size() != t.size()) {
        throw std::invalid_argument("selectBranchAndResample: at least two observations are needed");
    }
    const auto n = static_cast<std::int32_t>(t.size());
    ResampledCurve curve;

    curve.deepestIndex = deepestObservation(m);
    curve.crossingLevel = m[n - 1] > m[0] ? m[n - 1] : m[0];
    curve.crossingIndex = firstCrossing(m, curve.crossingLevel);
    const std::size_t j = curve.crossingIndex < n ? curve.crossingIndex - 1 : n - 2;
    curve.crossingTime = store(t[j] + (static_cast<Extended>(curve.crossingLevel) - m[j]) *
                                          (static_cast<Extended>(t[j + 1]) - t[j]) /
                                          (static_cast<Extended>(m[j + 1]) - m[j]));
    requireFinite(series, curve.crossingTime, "the crossing time of the fainter end level");

    // The day offset must be a 32-bit whole number of days.
    if (!std::isfinite(t[0]) || std::fabs(t[0]) >= 2147483648.0) {
        cannotResample(series, "the first time has no 32-bit whole-day offset");
    }
    curve.dayOffset = static_cast<std::int32_t>(t[0]);

    if (curve.deepestIndex > curve.crossingIndex) {
        curve.branchPoints = n + 1 - curve.crossingIndex;
        curve.windowStart = curve.crossingTime;
        curve.windowEnd = t[n - 1];
    } else {
        curve.branchPoints = curve.crossingIndex + 1;
        curve.windowStart = t[0];
        curve.windowEnd = curve.crossingTime;
    }
    requireFinite(series, curve.windowStart, "the start of the branch window");
    requireFinite(series, curve.windowEnd, "the end of the branch window");

    // 4K - 1 trials must be counted in 32 bits.
    const std::int64_t halfCount = static_cast<std::int64_t>(curve.branchPoints) + 3;
    if (4 * halfCount - 1 > std::numeric_limits<std::int32_t>::max()) {
        cannotResample(series, "too many observations in the branch window");
    }
    curve.halfCount = static_cast<std::int32_t>(halfCount);
    curve.intervals = 2 * curve.halfCount;
    curve.step = store((static_cast<Extended>(curve.windowEnd) - curve.windowStart) / curve.intervals);
    requireFinite(series, curve.step, "the grid step");

    const double offset = curve.dayOffset;
    const std::size_t points = static_cast<std::size_t>(curve.intervals) + 1;
    gridTimes.resize(points);
    gridMagnitudes.resize(points);
    for (std::size_t point = 0; point < points; ++point) {
        const Extended absolute = curve.windowStart + static_cast<Extended>(point) * curve.step;
        gridTimes[point] = store(absolute - offset);
        if (!std::isfinite(gridTimes[point])) {
            cannotResample(series, "grid time " + std::to_string(point + 1) + " is not finite");
        }
    }
    const std::vector<std::int32_t> segment = firstContainingSegments(t, offset, gridTimes);
    for (std::size_t point = 0; point < points; ++point) {
        const auto k = static_cast<std::size_t>(segment[point]);
        const Extended x = gridTimes[point];
        const Extended a = static_cast<Extended>(t[k]) - offset;
        const Extended b = static_cast<Extended>(t[k + 1]) - offset;
        gridMagnitudes[point] = store(m[k] + (x - a) * (static_cast<Extended>(m[k + 1]) - m[k]) / (b - a));
        if (!std::isfinite(gridMagnitudes[point])) {
            cannotResample(series, "grid magnitude " + std::to_string(point + 1) + " is not finite");
        }
    }
    curve.gridTimes = std::move(gridTimes);
    curve.gridMagnitudes = std::move(gridMagnitudes);
    return curve;
}

}  // namespace kvw::analysis
