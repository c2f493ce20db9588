#include "analysis/branch.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "base/precondition.h"
#include "linalg/extended.h"

namespace kvw::analysis {

namespace {

using linalg::Extended;
using linalg::store;
using Times = std::span<const double>;

// Records why the curve cannot be resampled; false, for the caller to stop.
bool cannotResample(ResampledCurve& curve, std::string why) {
    curve.unusable = std::move(why);
    return false;
}

bool finite(double value, const char* what, ResampledCurve& curve) {
    return std::isfinite(value) || cannotResample(curve, std::string(what) + " is not finite");
}

std::int32_t deepestObservation(std::span<const double> m) {
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
std::int32_t firstCrossing(std::span<const double> m, double level) {
    const std::size_t n = m.size();
    for (std::size_t e = 0; e + 1 < n; ++e) {
        if ((m[e] > level && m[e + 1] <= level) || (m[e] <= level && m[e + 1] > level)) {
            return static_cast<std::int32_t>(e + 1);
        }
    }
    return static_cast<std::int32_t>(n);
}

// T(k) - D, evaluated in extended precision.
Extended relative(Times t, std::size_t k, double dayOffset) {
    return static_cast<Extended>(t[k]) - dayOffset;
}

// Where grid time x lies on segment k: its distance from the segment's start
// and the segment's length, both in extended precision. The interpolated
// magnitude and each observation's weight in it are taken from these.
struct SegmentPlace {
    Extended fromStart;
    Extended length;
};
SegmentPlace placeOnSegment(Times t, std::size_t k, double dayOffset, double x) {
    const Extended start = relative(t, k, dayOffset);
    return {x - start, relative(t, k + 1, dayOffset) - start};
}

// For each grid time x, the first segment k (from 0) with T(k) - D <= x < T(k+1) - D;
// the last segment when none holds x.
//
// Times in increasing order: the segments follow each other, so the one that
// holds x lies just before the first time past x (binary search).
void segmentsOfSortedTimes(Times t, double dayOffset, std::span<const double> x, IndexTable& found) {
    const auto fallback = static_cast<std::int32_t>(t.size() - 2);
    for (std::size_t j = 0; j < x.size(); ++j) {
        const Extended time = x[j];
        std::size_t low = 1;  // the first index whose time lies past x, in [1, n]
        std::size_t high = t.size();
        while (low < high) {
            const std::size_t middle = low + (high - low) / 2;
            if (relative(t, middle, dayOffset) > time) {
                high = middle;
            } else {
                low = middle + 1;
            }
        }
        const bool holds = low < t.size() && relative(t, low - 1, dayOffset) <= time;
        found[j] = holds ? static_cast<std::int32_t>(low - 1) : fallback;
    }
}

// Times in any order: a sweep over the grid times in increasing order keeps
// the segments that have begun in a heap by index; a segment whose end lies at
// or below the current time can never hold a later one and leaves the heap.
void segmentsOfUnsortedTimes(Times t, double dayOffset, std::span<const double> x, ResamplingStorage& storage) {
    IndexTable& usable = storage.usableSegments;
    usable.clear();
    for (std::size_t k = 0; k + 1 < t.size(); ++k) {
        if (relative(t, k, dayOffset) < relative(t, k + 1, dayOffset)) {  // an empty, reversed or NaN one holds none
            usable.push_back(static_cast<std::int32_t>(k));
        }
    }
    // Ties broken by index make both orders total, as a stable sort would.
    std::sort(usable.begin(), usable.end(), [&](std::int32_t a, std::int32_t b) {
        const Extended beginA = relative(t, static_cast<std::size_t>(a), dayOffset);
        const Extended beginB = relative(t, static_cast<std::size_t>(b), dayOffset);
        return beginA < beginB || (beginA == beginB && a < b);
    });
    IndexTable& order = storage.gridOrder;
    order.resize(x.size());
    for (std::size_t j = 0; j < x.size(); ++j) {
        order[j] = static_cast<std::int32_t>(j);
    }
    std::sort(order.begin(), order.end(), [&x](std::int32_t a, std::int32_t b) {
        return x[static_cast<std::size_t>(a)] < x[static_cast<std::size_t>(b)] ||
               (x[static_cast<std::size_t>(a)] == x[static_cast<std::size_t>(b)] && a < b);
    });

    IndexTable& found = storage.segments;
    const auto fallback = static_cast<std::int32_t>(t.size() - 2);
    IndexTable& open = storage.openSegments;  // a heap whose top is the earliest segment
    open.clear();
    const auto later = [](std::int32_t a, std::int32_t b) { return a > b; };
    std::size_t nextToOpen = 0;
    for (const std::int32_t point : order) {
        const Extended time = x[static_cast<std::size_t>(point)];
        while (nextToOpen < usable.size() &&
               relative(t, static_cast<std::size_t>(usable[nextToOpen]), dayOffset) <= time) {
            open.push_back(usable[nextToOpen++]);
            std::push_heap(open.begin(), open.end(), later);
        }
        while (!open.empty() && !(time < relative(t, static_cast<std::size_t>(open.front()) + 1, dayOffset))) {
            std::pop_heap(open.begin(), open.end(), later);
            open.pop_back();
        }
        found[static_cast<std::size_t>(point)] = open.empty() ? fallback : open.front();
    }
}

void findSegments(Times t, double dayOffset, std::span<const double> x, ResamplingStorage& storage) {
    storage.segments.resize(x.size());
    bool sorted = true;
    for (std::size_t k = 1; k < t.size() && sorted; ++k) {
        sorted = t[k - 1] <= t[k];  // false for a NaN too
    }
    if (sorted) {
        segmentsOfSortedTimes(t, dayOffset, x, storage.segments);
    } else {
        segmentsOfUnsortedTimes(t, dayOffset, x, storage);
    }
}

// Steps 1 to 4: the deepest point, the crossing level, the crossing and its time.
bool findCrossing(Times t, std::span<const double> m, ResampledCurve& curve) {
    const auto n = static_cast<std::int32_t>(t.size());
    curve.deepestIndex = deepestObservation(m);
    curve.crossingLevel = m[n - 1] > m[0] ? m[n - 1] : m[0];
    curve.crossingIndex = firstCrossing(m, curve.crossingLevel);
    const std::size_t j = curve.crossingIndex < n ? curve.crossingIndex - 1 : n - 2;
    curve.crossingTime = store(t[j] + (static_cast<Extended>(curve.crossingLevel) - m[j]) *
                                          (static_cast<Extended>(t[j + 1]) - t[j]) /
                                          (static_cast<Extended>(m[j + 1]) - m[j]));
    return finite(curve.crossingTime, "the crossing time of the fainter end level", curve);
}

// Steps 5 to 7: the day offset, the branch window and the grid's size and step.
bool chooseWindow(Times t, ResampledCurve& curve) {
    const auto n = static_cast<std::int32_t>(t.size());
    // The day offset must be a 32-bit whole number of days.
    if (!std::isfinite(t[0]) || std::fabs(t[0]) >= 2147483648.0) {
        return cannotResample(curve, "the first time has no 32-bit whole-day offset");
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
    if (!finite(curve.windowStart, "the start of the branch window", curve) ||
        !finite(curve.windowEnd, "the end of the branch window", curve)) {
        return false;
    }

    // 4K - 1 trials must be counted in 32 bits.
    const std::int64_t halfCount = static_cast<std::int64_t>(curve.branchPoints) + 3;
    if (4 * halfCount - 1 > std::numeric_limits<std::int32_t>::max()) {
        return cannotResample(curve, "too many observations in the branch window");
    }
    curve.halfCount = static_cast<std::int32_t>(halfCount);
    curve.intervals = 2 * curve.halfCount;
    curve.step = store((static_cast<Extended>(curve.windowEnd) - curve.windowStart) / curve.intervals);
    return finite(curve.step, "the grid step", curve);
}

// Step 8: the grid times, the segment of each, and the interpolated magnitudes.
bool resample(Times t, std::span<const double> m, ResampledCurve& curve, ResamplingStorage& storage) {
    const double offset = curve.dayOffset;
    const std::size_t points = static_cast<std::size_t>(curve.intervals) + 1;
    require(points <= storage.gridTimes.capacity(), "the storage is reserved for the series");
    Table& gridTimes = storage.gridTimes;
    Table& gridMagnitudes = storage.gridMagnitudes;
    gridTimes.resize(points);
    gridMagnitudes.resize(points);
    for (std::size_t point = 0; point < points; ++point) {
        const Extended absolute = curve.windowStart + static_cast<Extended>(point) * curve.step;
        gridTimes[point] = store(absolute - offset);
        if (!std::isfinite(gridTimes[point])) {
            return cannotResample(curve, "grid time " + std::to_string(point + 1) + " is not finite");
        }
    }
    findSegments(t, offset, gridTimes, storage);
    for (std::size_t point = 0; point < points; ++point) {
        const auto k = static_cast<std::size_t>(storage.segments[point]);
        const SegmentPlace place = placeOnSegment(t, k, offset, gridTimes[point]);
        gridMagnitudes[point] =
            store(m[k] + place.fromStart * (static_cast<Extended>(m[k + 1]) - m[k]) / place.length);
        if (!std::isfinite(gridMagnitudes[point])) {
            return cannotResample(curve, "grid magnitude " + std::to_string(point + 1) + " is not finite");
        }
    }
    return true;
}

}  // namespace

ResampledCurve selectBranchAndResample(std::span<const double> times, std::span<const double> magnitudes,
                                       ResamplingStorage& storage) {
    require(times.size() >= 2 && magnitudes.size() == times.size(), "two or more times, a magnitude for each");
    ResampledCurve curve;
    if (findCrossing(times, magnitudes, curve) && chooseWindow(times, curve) &&
        resample(times, magnitudes, curve, storage)) {
        curve.gridTimes = storage.gridTimes;
        curve.gridMagnitudes = storage.gridMagnitudes;
        curve.segments = storage.segments;
    }
    return curve;
}

double interpolationWeight(std::span<const double> times, std::int32_t dayOffset, std::int32_t segment,
                           double gridTime) {
    const auto k = static_cast<std::size_t>(segment);
    require(k + 1 < times.size(), "a segment between two of the times");
    const SegmentPlace place = placeOnSegment(times, k, dayOffset, gridTime);
    return store(place.fromStart / place.length);
}

}  // namespace kvw::analysis
