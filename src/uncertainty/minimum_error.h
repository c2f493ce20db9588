// The error of a time of minimum beyond the classic formula, and the flags
// that mark where the method itself is unsure. The derivation of every
// formula here, and the calibration that chose among them, is in
// docs/ERRORS.md.
//
// The classic error assumes white noise in independent pairs of observations
// and takes the sum left at the vertex as the noise. Here the sums are read as
// what they are, sums over the resampled grid, whose interpolated points share
// observations; the error is propagated through the method linearly, widened
// for noise correlated in time and for branches that do not fold onto each
// other, and taken from re-timed replicas where the method is far from linear.
//
// Each function reads the method's own result of the window
// (analysis::EclipseTiming): its grid, the segment and weight of every grid
// point, the symmetric pairs and the searched trials, so that the errors
// follow the method wherever it changes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/eclipse_timing.h"

namespace kvw::uncertainty {

// The observations the method timed, in time order: times (days) and
// magnitudes of equal length.
struct Observations {
    std::span<const double> times;
    std::span<const double> magnitudes;
};

// Times observations with the same method: the time of minimum, or nothing
// when there is no proper minimum. The estimators re-time replicas with it.
using RetimeMinimum = std::function<std::optional<double>(const Observations&)>;

// The method itself, in storage of its own for each thread, on one thread: the
// replicas are re-timed inside the workers of many eclipses.
std::optional<double> minimumTimeOf(const Observations& observed);

struct ErrorOptions {
    std::optional<double> noise;  // the noise per observation in magnitudes, when the user knows it
    std::int32_t replicas = 0;    // replicas to re-time; 0 chooses by the size of the window
    std::uint64_t seed = 1;       // the same seed gives the same replicas
    // The errors of the observations (magnitudes), when every one carries one:
    // their squares give each observation's share of the noise, whose scale
    // still comes from the sums. Ignored with `noise`; empty: all alike.
    std::span<const double> errors;
    // The observations around the window, a wider stretch of the same light
    // curve, over which the time-averaging beta of the residuals is measured
    // (a window that barely holds the eclipse holds too few of the noise's
    // slow swings); empty: the window itself. With their errors, as above.
    Observations context;
    std::span<const double> contextErrors;
};

struct ErrorEstimate {
    double error = 0;                // days
    std::vector<std::string> flags;  // empty when none
    std::int32_t replicas = 0;       // re-timed
    std::int32_t replicasJumped = 0; // of them, timed outside the eclipse
};

// The flag names.
inline constexpr const char* kNegativeVertex = "negative-vertex";  // the parabola's vertex value is below 0
inline constexpr const char* kFewPairs = "few-pairs";              // under 5 observations folded on one side
inline constexpr const char* kEdge = "edge";                       // vertex in the outer 5 % of trials K..3K
inline constexpr const char* kAsymmetric = "asymmetric";           // the branches do not fold onto each other
inline constexpr const char* kReplicasLost = "replicas-lost";      // over 10 % of replicas had no proper minimum
inline constexpr const char* kUnstable = "unstable";               // over 10 % of replicas timed outside the eclipse

// Every function below takes a timing with a proper minimum of three or more
// observations, made from these observations (a PreconditionFailure otherwise).

// The error of the time and the flags.
ErrorEstimate estimateError(const Observations& observed, const analysis::EclipseTiming& timing,
                            const ErrorOptions& options, const RetimeMinimum& retime);

// The flags that the method's result alone raises: negative-vertex, few-pairs, edge.
std::vector<std::string> methodFlags(const Observations& observed, const analysis::EclipseTiming& timing);

// How the grid changes the statistics of the smallest sum S(kmin), whose P
// pairs fold grid points g = (1 - w) y(k) + w y(k + 1) interpolated between
// observations y. With white noise s per observation:
//   E[S(kmin)] = s^2 Q, Q = the sum over the pairs of the squared coefficients
//                of the observations in g(q) - g(p) (2 P for independent pairs);
//   var(time)  = 2 rho s^2 / a + F s^4 / (4 a d)^2, a the curvature of the
//                parabola, d = h / 2 the trial spacing, rho = |c|^2 / (2 sum f'^2)
//                with c(i) = sum over pairs of f'(u) times the coefficient of
//                y(i) in g(q) - g(p), f' the slope of the folded curve (rho = 1
//                for independent pairs); F = var(S(kmin-1) - S(kmin+1)) / s^4,
//                the sums on either side folding different pairs.
struct GridNoiseFactors {
    std::int32_t pairs = 0;           // P
    double sumOfSquaredWeights = 0;   // Q
    double timingFactor = 0;          // rho
    double sumFluctuation = 0;        // F
};

GridNoiseFactors gridNoiseFactors(const Observations& observed, const analysis::EclipseTiming& timing);

// The linear error sqrt(2 rho s^2 / a + F s^4 / (4 a d)^2), d = step / 2.
double linearError(const GridNoiseFactors& factors, double noiseVariance, double curvature, double step);

// The chosen combination: the linear error, or the replicas' RMS where it
// exceeds the linear error 1.5 times (the method is then far from linear),
// times the inflation for correlated noise and asymmetry (at least 1). The
// RMS is over the replicas timed within the eclipse: one that jumps to a
// minimum of the sums outside it (the flat light of a wide window) does not
// measure the time's noise but the method's instability, which the flag
// `unstable` reports.
double combineErrors(double linear, double bootstrap, double inflation);

// The replicas re-timed for a window of `observations` when none are asked
// for: fewer for big windows, whose re-timing costs grow as their square.
std::int32_t automaticReplicaCount(std::size_t observations);

// Every candidate that was weighed, for the calibration benchmark; in days
// unless stated, NaN where one cannot be formed.
struct ErrorCandidates {
    double error = 0;              // as estimateError gives it
    double classic = 0;            // the method's own error
    double deegPlain = 0;          // sqrt(2 s^2 / a), s^2 = S_min / (2 (P - 1)): pairs taken as independent
    double deegGrid = 0;           // sqrt(2 rho s^2 / a), s^2 = S_min P / ((P - 1) Q)
    double linear = 0;             // deegGrid with the fluctuation of the neighbouring sums added
    double sumFactor = 0;          // Q / (2 P)
    double timingFactor = 0;       // rho
    double noise = 0;              // s (magnitudes): --noise, or from S_min
    double beta = 1;               // time-averaging beta of the residuals at the ingress time scale
    double pairBeta = 1;           // the same measured on the pair differences of the smallest sum
    double prayerBead = 0;         // RMS of replicas from cyclic shifts of the residuals
    double residualBootstrap = 0;  // RMS of replicas from residuals drawn at random
    std::int32_t replicas = 0;     // replicas of each kind
};

ErrorCandidates weighErrors(const Observations& observed, const analysis::EclipseTiming& timing,
                            const ErrorOptions& options, const RetimeMinimum& retime);

}  // namespace kvw::uncertainty
