// Replicas of a window: the symmetric model plus the residuals in a new
// arrangement, each re-timed with the method; the RMS of their times about
// the measured one (docs/ERRORS.md, "The estimator"). Internal to the
// uncertainty library.
#pragma once

#include <cstdint>
#include <limits>

#include "detail/symmetric_model.h"
#include "uncertainty/minimum_error.h"

namespace kvw::uncertainty::detail {

struct ReplicaTimes {
    double rms = std::numeric_limits<double>::quiet_NaN();  // NaN when fewer than two replicas were timed
    std::int32_t lost = 0;                                   // replicas without a proper minimum
};

// Cyclic shifts of the residuals, which keep their correlation, each also
// with its sign reversed: 2 (n - 1) distinct arrangements, taken evenly from
// a starting one drawn with the seed.
ReplicaTimes prayerBead(const Observations& observed, const Residuals& residuals, double measured,
                        std::int32_t count, std::uint64_t seed, const RetimeMinimum& retime);

// Residuals drawn independently with replacement: white noise of the same
// distribution.
ReplicaTimes residualBootstrap(const Observations& observed, const Residuals& residuals, double measured,
                               std::int32_t count, std::uint64_t seed, const RetimeMinimum& retime);

}  // namespace kvw::uncertainty::detail
