// Replicas of a window: the symmetric model plus the residuals in a new
// arrangement, each re-timed with the method; the RMS of their times about
// the measured one (docs/ERRORS.md, "The estimator"). A replica whose minimum
// lies outside the eclipse has jumped to another minimum of the sums (the
// flat light of a wide window): it is counted, not averaged. Internal to the
// uncertainty library.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "detail/noise_shares.h"
#include "detail/symmetric_model.h"
#include "uncertainty/minimum_error.h"

namespace kvw::uncertainty::detail {

struct ReplicaTimes {
    double rms = std::numeric_limits<double>::quiet_NaN();  // NaN when fewer than two replicas were timed
    std::int32_t lost = 0;                                   // replicas without a proper minimum
    std::int32_t jumped = 0;                                 // replicas timed outside the eclipse
};

// Where the replicas of a window are re-timed from: the measured time and how
// far from it a replica's time may lie and still be in the eclipse
// (halfDepthReach).
struct ReplicaCentre {
    double measured = 0;
    double reach = HUGE_VAL;
};

// Cyclic shifts of the residuals, which keep their correlation, each also
// with its sign reversed: 2 (n - 1) distinct arrangements, taken evenly from
// a starting one drawn with the seed.
ReplicaTimes prayerBead(const Observations& observed, const Residuals& residuals, ReplicaCentre centre,
                        std::int32_t count, std::uint64_t seed, const RetimeMinimum& retime);

// Residuals drawn independently with replacement: white noise of the same
// distribution. With noise shares, each residual drawn is first divided by its
// own standard deviation (through the symmetric model, which mixes the
// noise of both branches) and then carries the share of the place it goes to.
ReplicaTimes residualBootstrap(const Observations& observed, const Residuals& residuals, ReplicaCentre centre,
                               std::int32_t count, std::uint64_t seed, const RetimeMinimum& retime,
                               const NoiseShares& shares);

}  // namespace kvw::uncertainty::detail
