#include "detail/replicas.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace kvw::uncertainty::detail {

namespace {

template <typename Arrange>
ReplicaTimes retimeReplicas(const Observations& observed, const Residuals& residuals, double measured,
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
        if (time && std::isfinite(*time)) {
            squares += (*time - measured) * (*time - measured);
            ++timed;
        } else {
            ++result.lost;
        }
    }
    result.rms = timed >= 2 ? std::sqrt(squares / timed) : std::numeric_limits<double>::quiet_NaN();
    return result;
}

}  // namespace

ReplicaTimes prayerBead(const Observations& observed, const Residuals& residuals, double measured,
                        std::int32_t count, std::uint64_t seed, const RetimeMinimum& retime) {
    const std::size_t n = observed.times.size();
    const std::size_t arrangements = 2 * (n - 1);
    const auto replicas =
        static_cast<std::int32_t>(std::min<std::size_t>(static_cast<std::size_t>(count), arrangements));
    std::mt19937_64 random(seed);
    const std::size_t start = random() % arrangements;
    return retimeReplicas(observed, residuals, measured, replicas, retime, [&](std::int32_t replica, std::size_t i) {
        const std::size_t arrangement =
            (start + static_cast<std::size_t>(replica) * arrangements / static_cast<std::size_t>(replicas)) %
            arrangements;
        const std::size_t shift = arrangement % (n - 1) + 1;
        const double sign = arrangement < n - 1 ? 1.0 : -1.0;
        return sign * residuals.scaled[(i + shift) % n];
    });
}

ReplicaTimes residualBootstrap(const Observations& observed, const Residuals& residuals, double measured,
                               std::int32_t count, std::uint64_t seed, const RetimeMinimum& retime) {
    const std::size_t n = observed.times.size();
    std::mt19937_64 random(seed ^ 0x9e3779b97f4a7c15ULL);
    std::uniform_int_distribution<std::size_t> draw(0, n - 1);
    return retimeReplicas(observed, residuals, measured, count, retime,
                          [&](std::int32_t, std::size_t) { return residuals.scaled[draw(random)]; });
}

}  // namespace kvw::uncertainty::detail
