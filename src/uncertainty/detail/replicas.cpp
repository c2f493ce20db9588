#include "detail/replicas.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace kvw::uncertainty::detail {

namespace {

template <typename Arrange>
ReplicaTimes retimeReplicas(const Observations& observed, const Residuals& residuals, ReplicaCentre centre,
                            std::int32_t count, const RetimeMinimum& retime, Arrange arrange) {
    const std::size_t n = observed.times.size();
    std::vector<double> magnitudes(n);
    ReplicaTimes result;
    double squares = 0;
    std::int32_t timed = 0;
    for (std::int32_t replica = 0; replica < count; ++replica) {
        for (std::size_t i = 0; i < n; ++i) {
            magnitudes[i] = residuals.model[i] + arrange(replica, i);
        }
        const std::optional<double> time = retime(Observations{observed.times, magnitudes});
        if (!time || !std::isfinite(*time)) {
            ++result.lost;
        } else if (std::fabs(*time - centre.measured) > centre.reach) {
            ++result.jumped;
        } else {
            squares += (*time - centre.measured) * (*time - centre.measured);
            ++timed;
        }
    }
    result.rms = timed >= 2 ? std::sqrt(squares / timed) : std::numeric_limits<double>::quiet_NaN();
    return result;
}

// The standard deviation of each scaled residual for white noise of unit
// variance carried in the given shares: the norm of its row through them.
std::vector<double> residualDeviations(const Residuals& residuals, const NoiseShares& shares) {
    std::vector<double> deviations;
    for (const Weights& row : residuals.rows) {
        double variance = 0;
        for (const auto& [index, weight] : row) {
            variance += weight * weight * shares[index];
        }
        deviations.push_back(std::sqrt(variance));
    }
    return deviations;
}

}  // namespace

ReplicaTimes prayerBead(const Observations& observed, const Residuals& residuals, ReplicaCentre centre,
                        std::int32_t count, std::uint64_t seed, const RetimeMinimum& retime) {
    const std::size_t n = observed.times.size();
    const std::size_t arrangements = 2 * (n - 1);
    const auto replicas =
        static_cast<std::int32_t>(std::min<std::size_t>(static_cast<std::size_t>(count), arrangements));
    std::mt19937_64 random(seed);
    const std::size_t start = random() % arrangements;
    return retimeReplicas(observed, residuals, centre, replicas, retime, [&](std::int32_t replica, std::size_t i) {
        const std::size_t arrangement =
            (start + static_cast<std::size_t>(replica) * arrangements / static_cast<std::size_t>(replicas)) %
            arrangements;
        const std::size_t shift = arrangement % (n - 1) + 1;
        const double sign = arrangement < n - 1 ? 1.0 : -1.0;
        return sign * residuals.scaled[(i + shift) % n];
    });
}

ReplicaTimes residualBootstrap(const Observations& observed, const Residuals& residuals, ReplicaCentre centre,
                               std::int32_t count, std::uint64_t seed, const RetimeMinimum& retime,
                               const NoiseShares& shares) {
    const std::size_t n = observed.times.size();
    std::mt19937_64 random(seed ^ 0x9e3779b97f4a7c15ULL);
    std::uniform_int_distribution<std::size_t> draw(0, n - 1);
    if (shares.alike()) {
        return retimeReplicas(observed, residuals, centre, count, retime,
                              [&](std::int32_t, std::size_t) { return residuals.scaled[draw(random)]; });
    }
    const std::vector<double> deviations = residualDeviations(residuals, shares);
    return retimeReplicas(observed, residuals, centre, count, retime, [&](std::int32_t, std::size_t i) {
        const std::size_t j = draw(random);
        return deviations[j] > 0 ? residuals.scaled[j] / deviations[j] * std::sqrt(shares[i]) : 0.0;
    });
}

}  // namespace kvw::uncertainty::detail
