// How the method's grid shapes the noise of its sums: the grid's factors Q,
// rho and F at the smallest sum, and the time-averaging beta of its pair
// differences (docs/ERRORS.md, "Why the grid changes Deeg's error" and
// "Correlated noise and asymmetry"). Internal to the uncertainty library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "analysis/eclipse_timing.h"
#include "detail/noise_shares.h"
#include "detail/symmetric_model.h"
#include "uncertainty/minimum_error.h"

namespace kvw::uncertainty::detail {

// The grid's factors at the smallest sum, and beta measured on the pair
// differences.
struct GridFactors {
    GridNoiseFactors noise;
    double pairBeta = 1;
};

// For a proper minimum of the observations; `timeScale` NaN leaves pairBeta 1.
// Every white-noise sum weighs an observation by its share of the noise: Q
// and rho then hold the shares (s^2 Q is still the expected smallest sum).
GridFactors gridFactors(const Observations& observed, const analysis::EclipseTiming& timing,
                        const SymmetricModel& model, double timeScale, const NoiseShares& shares);

// The symmetric pairs (p, q) of trial i as grid indices (from 0), in the order
// the method adds them: p increasing, so the distance from the trial falling.
std::vector<std::pair<std::size_t, std::size_t>> pairsOfTrial(const analysis::EclipseTiming& timing,
                                                              std::int32_t trial);

}  // namespace kvw::uncertainty::detail
