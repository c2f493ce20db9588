#include "detail/grid_factors.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "analysis/symmetric_pairs.h"
#include "detail/beta.h"

namespace kvw::uncertainty::detail {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A grid magnitude as the method interpolates it: (1 - w) y(k) + w y(k + 1).
struct GridWeight {
    std::size_t k;
    double w;
};

// The segment and weight of every grid point, as the resampling placed it.
std::vector<GridWeight> gridWeights(const Observations& observed, const analysis::ResampledCurve& curve) {
    std::vector<GridWeight> weights(curve.gridTimes.size());
    for (std::size_t j = 0; j < weights.size(); ++j) {
        const std::int32_t segment = curve.segments[j];
        weights[j] = {static_cast<std::size_t>(segment),
                      analysis::interpolationWeight(observed.times, curve.dayOffset, segment, curve.gridTimes[j])};
    }
    return weights;
}

// The observations' coefficients in g(q) - g(p), merged where p and q share one.
using DifferenceWeights = std::array<std::pair<std::size_t, double>, 4>;
DifferenceWeights differenceWeights(const GridWeight& p, const GridWeight& q) {
    DifferenceWeights terms = {{{q.k, 1 - q.w}, {q.k + 1, q.w}, {p.k, -(1 - p.w)}, {p.k + 1, -p.w}}};
    for (std::size_t i = 0; i < terms.size(); ++i) {
        for (std::size_t j = i + 1; j < terms.size(); ++j) {
            if (terms[j].second != 0 && terms[j].first == terms[i].first) {
                terms[i].second += terms[j].second;
                terms[j].second = 0;
            }
        }
    }
    return terms;
}

// The variance, per s^4 of white noise, of the difference of the noise's own
// sums at the trials on either side of the smallest: the parabola through
// three sums moves its vertex by (S(k-1) - S(k+1)) / (4 a s) for trial
// spacing s, and those two sums fold different pairs. For Gaussian noise the
// variance of e'Be is 2 tr(B^2) with B = sum of d d' over the pairs of trial
// k - 1 minus the same over trial k + 1, d the coefficients of g(q) - g(p);
// tr(B^2) = sum over pairs a, b of the signed squares (d_a . d_b)^2, and
// d_a . d_b vanishes unless the two pairs share an observation. With noise
// shares v, B's products go through V = diag(v): tr(BVBV), dot products
// d_a . V d_b.
double neighbourSumFluctuation(const analysis::EclipseTiming& timing, const std::vector<GridWeight>& weights,
                               const NoiseShares& shares) {
    struct Entry {
        std::size_t observation;
        std::size_t pair;
        double coefficient;
    };
    std::vector<Entry> entries;
    std::vector<double> signs;
    for (const std::int32_t offset : {-1, 1}) {
        for (const auto& [p, q] : pairsOfTrial(timing, timing.fit.smallestTrial + offset)) {
            for (const auto& [index, weight] : differenceWeights(weights[p], weights[q])) {
                if (weight != 0) {
                    entries.push_back({index, signs.size(), weight});
                }
            }
            signs.push_back(offset);
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.observation < b.observation; });
    // The dot products of pairs that share an observation, gathered observation by observation.
    const auto groupEnd = [&](std::size_t first) {
        std::size_t last = first;
        while (last < entries.size() && entries[last].observation == entries[first].observation) {
            ++last;
        }
        return last;
    };
    std::size_t productCount = 0;
    for (std::size_t first = 0, last = 0; first < entries.size(); first = last) {
        last = groupEnd(first);
        productCount += (last - first) * (last - first);
    }
    std::vector<std::pair<std::uint64_t, double>> products;
    products.reserve(productCount);
    for (std::size_t first = 0; first < entries.size();) {
        const std::size_t last = groupEnd(first);
        for (std::size_t a = first; a < last; ++a) {
            for (std::size_t b = first; b < last; ++b) {
                const std::uint64_t key = static_cast<std::uint64_t>(entries[a].pair) * signs.size() + entries[b].pair;
                products.emplace_back(
                    key, entries[a].coefficient * entries[b].coefficient * shares[entries[a].observation]);
            }
        }
        first = last;
    }
    std::sort(products.begin(), products.end());
    double trace = 0;
    for (std::size_t first = 0; first < products.size();) {
        double dot = 0;
        std::size_t last = first;
        while (last < products.size() && products[last].first == products[first].first) {
            dot += products[last++].second;
        }
        const std::uint64_t a = products[first].first / signs.size();
        const std::uint64_t b = products[first].first % signs.size();
        trace += signs[a] * signs[b] * dot * dot;
        first = last;
    }
    return 2 * trace;
}

// One pair of the smallest sum: its distance u from the trial, the slope of
// the symmetric model there, the difference g(q) - g(p), and the observations'
// coefficients in that difference.
struct PairTerm {
    double distance;
    double slope;
    double difference;
    DifferenceWeights weights;
};

// beta from the pair differences of the smallest sum: with the part that a
// shift of the trial explains removed, their slope-weighted sums over blocks
// of pairs spanning a given range of u scatter as much as white noise of
// their own unbinned scatter would make them (the grid's sharing of
// observations included), or more when the noise is correlated. Pair
// differences need no model of the curve, so the slow part of the noise is
// kept whole.
double pairDifferenceBeta(const std::vector<PairTerm>& terms, double timeScale, std::size_t observations,
                          const NoiseShares& shares) {
    double slopeDifference = 0;
    double squaredSlopes = 0;
    for (const PairTerm& term : terms) {
        slopeDifference += term.slope * term.difference;
        squaredSlopes += term.slope * term.slope;
    }
    if (!(squaredSlopes > 0) || !(timeScale > 0)) {
        return 1;
    }
    const double shift = slopeDifference / squaredSlopes;
    double unbinned = 0;  // sum of squared residual differences
    double weightSquares = 0;
    for (const PairTerm& term : terms) {
        const double residual = term.difference - shift * term.slope;
        unbinned += residual * residual;
        for (const auto& [index, weight] : term.weights) {
            weightSquares += weight * weight * shares[index];
        }
    }
    BinCoefficients coefficients(observations);
    return averagedBeta(timeScale, [&](double width, RatioMean& mean) {
        double binned = 0;    // sum of squared block sums
        double expected = 0;  // the same for white noise of unit variance
        std::size_t blocks = 0;
        for (std::size_t first = 0; first < terms.size();) {
            std::size_t last = first;
            double sum = 0;
            while (last < terms.size() && terms[last].distance < terms[first].distance + width) {
                const PairTerm& term = terms[last++];
                sum += term.slope * (term.difference - shift * term.slope);
                coefficients.add(term.weights, term.slope);
            }
            binned += sum * sum;
            coefficients.addSquaredNormTo(expected, shares);
            ++blocks;
            first = last;
        }
        if (blocks >= 3 && expected > 0 && unbinned > 0) {
            // The block sums add up to zero once the shift is removed: one of
            // them is not free.
            const double blockVariance = binned * static_cast<double>(blocks) / static_cast<double>(blocks - 1);
            mean.add((blockVariance / expected) / (unbinned / weightSquares));
        }
    });
}

}  // namespace

std::vector<std::pair<std::size_t, std::size_t>> pairsOfTrial(const analysis::EclipseTiming& timing,
                                                              std::int32_t trial) {
    const analysis::IndexRange firsts = analysis::symmetricPairsOf(trial, timing.curve.intervals);
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    for (std::int64_t a = firsts.first; a <= firsts.last; ++a) {
        pairs.emplace_back(static_cast<std::size_t>(a), static_cast<std::size_t>(trial - a));
    }
    return pairs;
}

GridFactors gridFactors(const Observations& observed, const analysis::EclipseTiming& timing,
                        const SymmetricModel& model, double timeScale, const NoiseShares& shares) {
    const std::vector<GridWeight> weights = gridWeights(observed, timing.curve);
    const std::span<const double> gridTimes = timing.curve.gridTimes;
    const std::span<const double> gridMagnitudes = timing.curve.gridMagnitudes;
    const double trialTime = timing.scan.trialTimes[static_cast<std::size_t>(timing.fit.smallestTrial - 1)];
    const auto pairs = pairsOfTrial(timing, timing.fit.smallestTrial);
    GridFactors factors;
    factors.noise.pairs = static_cast<std::int32_t>(pairs.size());
    std::vector<PairTerm> terms;
    terms.reserve(pairs.size());
    std::vector<double> sensitivity(observed.times.size(), 0.0);  // c(i) = sum over pairs of f'(u) d(g(q) - g(p))/dy(i)
    double squaredWeights = 0;
    double squaredSlopes = 0;
    for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {  // by increasing distance
        const auto [p, q] = *pair;
        const double distance = gridTimes[q] - trialTime;
        const PairTerm term{distance, model.at(distance).slope, gridMagnitudes[q] - gridMagnitudes[p],
                            differenceWeights(weights[p], weights[q])};
        squaredSlopes += term.slope * term.slope;
        for (const auto& [index, weight] : term.weights) {
            squaredWeights += weight * weight * shares[index];
            sensitivity[index] += term.slope * weight;
        }
        terms.push_back(term);
    }
    double squaredSensitivity = 0;
    for (std::size_t i = 0; i < sensitivity.size(); ++i) {
        squaredSensitivity += sensitivity[i] * sensitivity[i] * shares[i];
    }
    factors.noise.sumOfSquaredWeights = squaredWeights;
    factors.noise.timingFactor = squaredSlopes > 0 ? squaredSensitivity / (2 * squaredSlopes) : kNaN;
    factors.noise.sumFluctuation = neighbourSumFluctuation(timing, weights, shares);
    factors.pairBeta = pairDifferenceBeta(terms, timeScale, observed.times.size(), shares);
    return factors;
}

}  // namespace kvw::uncertainty::detail
