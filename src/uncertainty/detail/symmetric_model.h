// A smooth model of the eclipse, symmetric about the time of minimum, and the
// observations' residuals from it: what the replicas are built from and what
// the time-averaging beta of the residuals measures (docs/ERRORS.md, "Correlated
// noise and asymmetry"). Internal to the uncertainty library.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

#include "detail/noise_shares.h"
#include "uncertainty/minimum_error.h"

namespace kvw::uncertainty::detail {

// An observation's weight in a combination of the observations, by its index.
using Weights = std::vector<std::pair<std::size_t, double>>;

// A quadratic in the distance u from the time of minimum, fitted by least
// squares to the observations nearest in u (both branches folded together),
// separately at each place.
class SymmetricModel {
public:
    struct Fit {
        double value;
        double slope;     // d(magnitude)/du
        double leverage;  // of an observation at the place itself
    };

    // With `neighbours`, that many; else the count that predicts best (chooseNeighbours).
    SymmetricModel(const Observations& observed, double centre, std::optional<std::size_t> neighbours = std::nullopt);

    std::size_t neighbours() const { return neighbours_; }

    // The fit at u; with `weights`, also the weight of each observation in
    // the fitted value.
    Fit at(double u, Weights* weights = nullptr) const;

private:
    struct Folded {
        double u;  // the distance from the centre
        double magnitude;
        std::size_t index;  // in the observations
    };

    void chooseNeighbours(const Observations& observed, double centre);
    Fit fitQuadratic(std::size_t low, std::size_t high, double u, Weights* weights) const;

    std::vector<Folded> order_;  // by u
    std::size_t neighbours_ = 0;
    std::size_t chosen_ = 5;  // when no count predicts at all (too few observations)
};

// The symmetric model at each observation and the residuals from it, each
// divided by sqrt(1 - leverage) so that white noise keeps its variance.
struct Residuals {
    std::vector<double> model;
    std::vector<double> scaled;
    std::vector<Weights> rows;  // each scaled residual as a combination of the observations
    double rms = 0;
};

Residuals residualsFromSymmetricModel(const Observations& observed, const SymmetricModel& model, double centre);

// The time over which the symmetric model falls from 90 % to 10 % of its
// depth within the window: the scale at which noise moves a time of minimum.
// NaN when the model never falls to 90 %.
double ingressTimeScale(const Observations& observed, const Residuals& residuals, double centre);

// The distance from the centre beyond which the symmetric model lies less than
// half its depth below the level outside the eclipse (infinite when it never
// does): a time farther out lies outside the eclipse.
double halfDepthReach(const Observations& observed, const Residuals& residuals, double centre);

// The time-averaging beta of the residuals at the ingress time scale (at
// least 1); the white-noise reference weighs each observation by its share.
double timeAveragingBeta(const Observations& observed, const Residuals& residuals, double timeScale,
                         const NoiseShares& shares);

}  // namespace kvw::uncertainty::detail
