// Robust summaries of a light curve that the survey of a folded curve and the
// checks of a window share: medians, the running median, and the scatter of
// one observation from second differences.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace kvw::timing {

// The median (the upper one of an even count) of values, which it reorders; values not empty.
double medianOf(std::vector<double>& values);

// The median of the values [i - half, i + half] at each i, fewer at the ends.
std::vector<double> runningMedian(std::span<const double> values, std::size_t half);

// Points on either side in the running median of `points` values: enough to
// smooth the noise, few enough to keep an eclipse of a dozen points
// (30-minute cadence).
std::size_t runningMedianHalfSpan(std::size_t points);

// A running median of 2 half + 1 points scatters about this many times less than one point.
double runningMedianShrinkage(std::size_t half);

// The scatter of one observation (1.4826 times the median absolute deviation,
// so the standard deviation for Gaussian noise) from the second differences of
// consecutive observations y(i) - (w y(i-1) + (1 - w) y(i+1)), w the linear
// interpolation weight: the light's own slope drops out, outliers do not
// count. Only triples whose three points `counted` holds; none when fewer than
// `fewest` such triples are there.
std::optional<double> secondDifferenceScatter(std::span<const double> times, std::span<const double> values,
                                              const std::vector<bool>& counted, std::size_t fewest);

}  // namespace kvw::timing
