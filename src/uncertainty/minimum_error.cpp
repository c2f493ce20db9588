#include "uncertainty/minimum_error.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/working_storage.h"
#include "detail/grid_factors.h"
#include "detail/proper_minimum.h"
#include "detail/replicas.h"
#include "detail/symmetric_model.h"

namespace kvw::uncertainty {

namespace {

using detail::GridFactors;
using detail::NoiseShares;
using detail::ReplicaCentre;
using detail::ReplicaTimes;
using detail::Residuals;
using detail::SymmetricModel;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// asymmetric: pair differences that scatter more over the ingress time scale
// than this many times what their own scatter accounts for.
constexpr double kAsymmetricPairBeta = 1.8;
// replicas-lost: more than this fraction of the replicas without a proper minimum.
constexpr double kLostReplicaFraction = 0.1;
// unstable: more than this fraction of the replicas timed outside the eclipse.
constexpr double kJumpedReplicaFraction = 0.1;
// The bootstrap replaces the linear error when it exceeds it this many times.
constexpr double kLinearRegimeLimit = 1.5;

// The smallest sum as the parabola gives it at its vertex; the smallest sum
// itself when the vertex value is not positive. Taken at the vertex, it holds
// no part of the curve's slope (the trial lies up to a quarter step off it).
double smallestSum(const analysis::EclipseTiming& timing) {
    return timing.fit.meanValue > 0 ? timing.fit.meanValue
                                    : timing.scan.sums[static_cast<std::size_t>(timing.fit.smallestTrial - 1)];
}

// What every estimate of one window shares: the symmetric model and the
// residuals from it, the grid's factors, the noise per observation and the
// linear error.
struct ErrorBasis {
    NoiseShares shares;
    Residuals residuals;
    ReplicaCentre centre;  // the measured time and how far from it the eclipse reaches
    double timeScale = kNaN;
    GridFactors grid;
    double noise = kNaN;   // s per observation (magnitudes)
    double linear = kNaN;  // linearError
    double beta = 1;       // time-averaging beta of the residuals
};

// Each observation's share of the noise: from its error, unless the user gave the noise.
NoiseShares sharesOf(const ErrorOptions& options, std::span<const double> errors, std::size_t observations) {
    return options.noise ? NoiseShares() : NoiseShares(errors, observations);
}

// beta over the context when there is one: the residuals of a symmetric model
// of the wider stretch about the same centre, with as many neighbours as the
// window's (the same cadence and noise).
double betaOf(const Observations& observed, const ErrorOptions& options, const ErrorBasis& basis, double centre,
              std::size_t neighbours) {
    if (options.context.times.empty()) {
        return timeAveragingBeta(observed, basis.residuals, basis.timeScale, basis.shares);
    }
    const SymmetricModel model(options.context, centre, neighbours);
    const Residuals residuals = residualsFromSymmetricModel(options.context, model, centre);
    return timeAveragingBeta(options.context, residuals, basis.timeScale,
                             sharesOf(options, options.contextErrors, options.context.times.size()));
}

ErrorBasis errorBasis(const Observations& observed, const analysis::EclipseTiming& timing,
                      const ErrorOptions& options) {
    detail::requireProperMinimum(observed, timing);
    ErrorBasis basis;
    const double centre = timing.fit.minimumTime;
    basis.shares = sharesOf(options, options.errors, observed.times.size());
    const SymmetricModel model(observed, centre);
    basis.residuals = residualsFromSymmetricModel(observed, model, centre);
    basis.centre = {centre, detail::halfDepthReach(observed, basis.residuals, centre)};
    basis.timeScale = ingressTimeScale(observed, basis.residuals, centre);
    basis.grid = gridFactors(observed, timing, model, basis.timeScale, basis.shares);
    const GridNoiseFactors& factors = basis.grid.noise;
    // The smallest sum holds s^2 Q (P - 1) / P for white noise s: one of the
    // P pairs' worth is taken up by the fitted time.
    const double pairs = factors.pairs;
    basis.noise = options.noise
                      ? *options.noise
                      : std::sqrt(smallestSum(timing) * pairs / ((pairs - 1) * factors.sumOfSquaredWeights));
    basis.linear = linearError(factors, basis.noise * basis.noise, timing.fit.a, timing.curve.step);
    basis.beta = betaOf(observed, options, basis, centre, model.neighbours());
    return basis;
}

std::int32_t replicaCount(const Observations& observed, const ErrorOptions& options) {
    return options.replicas > 0 ? options.replicas : automaticReplicaCount(observed.times.size());
}

}  // namespace

std::optional<double> minimumTimeOf(const Observations& observed) {
    // Replicas of one window come one after another: their tables are reused.
    thread_local analysis::WorkingStorage storage;
    analysis::reserveWorkingStorage(storage, observed.times.size());
    // One thread (replicas are re-timed inside the workers of many eclipses),
    // and plain sums: no digit of a replica's sums is printed.
    const analysis::EclipseTiming timing =
        analysis::timeEclipse(observed.times, observed.magnitudes, storage, {1, analysis::SumRounding::plain});
    if (!timing.timed()) {
        return std::nullopt;  // a replica without a proper minimum is lost, not fatal
    }
    return timing.fit.minimumTime;
}

GridNoiseFactors gridNoiseFactors(const Observations& observed, const analysis::EclipseTiming& timing) {
    detail::requireProperMinimum(observed, timing);
    const SymmetricModel model(observed, timing.fit.minimumTime);
    return gridFactors(observed, timing, model, kNaN, NoiseShares()).noise;
}

double linearError(const GridNoiseFactors& factors, double noiseVariance, double curvature, double step) {
    const double spacing = step / 2;  // between trials
    const double shift = 4 * curvature * spacing;
    return std::sqrt(2 * factors.timingFactor * noiseVariance / curvature +
                     factors.sumFluctuation * noiseVariance * noiseVariance / (shift * shift));
}

std::int32_t automaticReplicaCount(std::size_t observations) {
    // A re-timing of n observations costs about n^2 pair additions: 64
    // replicas up to 250 observations, then a fixed budget, but never fewer
    // than 8 (their RMS then still holds within about 25 %, enough to tell
    // whether the method has left its linear regime).
    constexpr double kBudget = 64.0 * 250 * 250;
    const double n = static_cast<double>(std::max<std::size_t>(observations, 1));
    return static_cast<std::int32_t>(std::clamp(kBudget / (n * n), 8.0, 64.0));
}

double combineErrors(double linear, double bootstrap, double inflation) {
    const bool linearHolds = std::isfinite(linear) && !(bootstrap > kLinearRegimeLimit * linear);
    const double base = linearHolds || !std::isfinite(bootstrap) ? linear : bootstrap;
    return base * inflation;
}

ErrorCandidates weighErrors(const Observations& observed, const analysis::EclipseTiming& timing,
                            const ErrorOptions& options, const RetimeMinimum& retime) {
    const ErrorBasis basis = errorBasis(observed, timing, options);
    const GridNoiseFactors& factors = basis.grid.noise;
    const double pairs = factors.pairs;
    ErrorCandidates out;
    out.classic = timing.fit.error;
    out.deegPlain = std::sqrt(2 * smallestSum(timing) / (2 * (pairs - 1)) / timing.fit.a);
    out.sumFactor = factors.sumOfSquaredWeights / (2 * pairs);
    out.timingFactor = factors.timingFactor;
    out.noise = basis.noise;
    out.deegGrid = std::sqrt(2 * factors.timingFactor * basis.noise * basis.noise / timing.fit.a);
    out.linear = basis.linear;
    out.beta = basis.beta;
    out.pairBeta = basis.grid.pairBeta;
    out.replicas = replicaCount(observed, options);
    const ReplicaTimes shifted =
        detail::prayerBead(observed, basis.residuals, basis.centre, out.replicas, options.seed, retime);
    out.prayerBead = shifted.rms;
    const ReplicaTimes drawn = detail::residualBootstrap(observed, basis.residuals, basis.centre, out.replicas,
                                                         options.seed, retime, basis.shares);
    out.residualBootstrap = drawn.rms;
    out.error = combineErrors(out.linear, out.residualBootstrap, std::max(out.beta, out.pairBeta));
    return out;
}

ErrorEstimate estimateError(const Observations& observed, const analysis::EclipseTiming& timing,
                            const ErrorOptions& options, const RetimeMinimum& retime) {
    const ErrorBasis basis = errorBasis(observed, timing, options);
    const std::int32_t replicas = replicaCount(observed, options);
    const ReplicaTimes drawn = detail::residualBootstrap(observed, basis.residuals, basis.centre, replicas,
                                                         options.seed, retime, basis.shares);
    ErrorEstimate estimate;
    estimate.replicas = replicas;
    estimate.replicasJumped = drawn.jumped;
    estimate.error = combineErrors(basis.linear, drawn.rms, std::max(basis.beta, basis.grid.pairBeta));
    estimate.flags = methodFlags(observed, timing);
    if (basis.grid.pairBeta > kAsymmetricPairBeta) {
        estimate.flags.emplace_back(kAsymmetric);
    }
    if (drawn.lost > kLostReplicaFraction * replicas) {
        estimate.flags.emplace_back(kReplicasLost);
    }
    if (drawn.jumped > kJumpedReplicaFraction * replicas) {
        estimate.flags.emplace_back(kUnstable);
    }
    return estimate;
}

}  // namespace kvw::uncertainty
