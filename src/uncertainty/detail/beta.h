// What the two time-averaging betas share: sums of noise over bins of a given
// width compared with what white noise would give them, for widths of 0.5 to
// 1.5 times the ingress time scale (docs/ERRORS.md, "Correlated noise and
// asymmetry"). Internal to the uncertainty library.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "detail/noise_shares.h"

namespace kvw::uncertainty::detail {

// The mean of the ratios of binned to unbinned scatter (each relative to
// white noise's) over the bin widths tried.
class RatioMean {
public:
    void add(double ratio) {
        sum_ += ratio;
        ++count_;
    }
    // The square root of the mean, at least 1; 1 when no width gave a ratio.
    double beta() const { return count_ > 0 ? std::max(1.0, std::sqrt(sum_ / count_)) : 1.0; }

private:
    double sum_ = 0;
    int count_ = 0;
};

// beta over bins of 0.5, 0.75, 1, 1.25 and 1.5 times the time scale:
// `addRatios(width, mean)` adds the ratio (or ratios) that bins of that width give.
template <typename AddRatios>
double averagedBeta(double timeScale, AddRatios addRatios) {
    RatioMean mean;
    for (const double factor : {0.5, 0.75, 1.0, 1.25, 1.5}) {
        addRatios(factor * timeScale, mean);
    }
    return mean.beta();
}

// The coefficients of a bin's sum as a combination of the observations: for
// white noise of unit variance, the sum's variance is their squared norm
// (weighted by the observations' shares of the noise).
class BinCoefficients {
public:
    explicit BinCoefficients(std::size_t observations) : coefficients_(observations, 0.0) {}

    // Adds factor times each (observation, weight) of a combination.
    template <typename Weights>
    void add(const Weights& weights, double factor) {
        for (const auto& [index, weight] : weights) {
            coefficients_[index] += factor * weight;
        }
    }
    // Adds the squared norm to `total` and clears the coefficients for the next bin.
    void addSquaredNormTo(double& total, const NoiseShares& shares) {
        for (std::size_t i = 0; i < coefficients_.size(); ++i) {
            total += coefficients_[i] * coefficients_[i] * shares[i];
            coefficients_[i] = 0;
        }
    }

private:
    std::vector<double> coefficients_;
};

}  // namespace kvw::uncertainty::detail
