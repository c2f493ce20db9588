#include "timing/curve_faults.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "linalg/extended.h"
#include "timing/detail/number_text.h"

namespace kvw::timing {

namespace {

using detail::numberText;

// Whether n squares of `difference` sum beyond the largest double.
bool squaresOverflow(double difference, std::size_t n) {
    const linalg::Extended d = difference;
    return !(d * d * static_cast<linalg::Extended>(n) <= DBL_MAX);
}

}  // namespace

std::string curveFault(std::span<const double> times, std::span<const double> magnitudes,
                       const std::string& otherwise) {
    const std::size_t n = times.size();
    if (n < 2) {
        return otherwise;
    }
    const std::string count = std::to_string(n);
    if (times.front() == times.back()) {
        return "all " + count + " observations are at one time (" + numberText(times.front()) + ")";
    }
    const auto [lowest, highest] = std::minmax_element(magnitudes.begin(), magnitudes.end());
    const double brightest = *lowest;
    const double faintest = *highest;
    if (faintest == brightest) {
        return "all " + count + " magnitudes are equal (" + numberText(faintest) +
               "): a flat light curve has no minimum";
    }
    if (squaresOverflow(faintest - brightest, n)) {
        return "the magnitudes range from " + numberText(brightest) + " to " + numberText(faintest) +
               ": the squares of the magnitude differences overflow";
    }
    if (squaresOverflow(times.back() - times.front(), n)) {
        return "the observations span " + numberText(times.back() - times.front()) + " days (from " +
               numberText(times.front()) + " to " + numberText(times.back()) +
               "): the squares of the time differences overflow (a mistyped time?)";
    }
    if (std::fabs(times.front()) >= 2147483648.0) {
        return "the first time (" + numberText(times.front()) +
               ") is too large: times must be days below 2147483648 (subtract a whole number of days)";
    }
    if (faintest <= std::max(magnitudes.front(), magnitudes.back())) {
        return "no observation is fainter than both the first and the last: the eclipse does not lie within them";
    }
    std::size_t repeated = 0;
    std::size_t first = 0;
    for (std::size_t i = 1; i < n; ++i) {
        if (times[i] == times[i - 1] && repeated++ == 0) {
            first = i;
        }
    }
    if (repeated > 0) {
        return std::to_string(repeated) + " observation(s) repeat the time of the one before (the first at " +
               numberText(times[first]) + "): average or remove the duplicated times";
    }
    return otherwise;
}

}  // namespace kvw::timing
