#include "uncertainty/minimum_error.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <utility>

namespace kvw::uncertainty {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// few-pairs: fewer observations than this folded onto the other branch at the
// smallest sum, on the shorter side.
constexpr std::size_t kFewestFoldedObservations = 5;
// edge: a vertex within this fraction of the searched range from either end.
constexpr double kEdgeFraction = 0.05;
// asymmetric: pair differences that scatter more over the ingress time scale
// than this many times what their own scatter accounts for.
constexpr double kAsymmetricPairBeta = 1.8;
// replicas-lost: more than this fraction of the replicas without a proper minimum.
constexpr double kLostReplicaFraction = 0.1;
// The bootstrap replaces the linear error when it exceeds it this many times.
constexpr double kLinearRegimeLimit = 1.5;

// A grid magnitude as the method interpolates it: (1 - w) y(k) + w y(k + 1).
struct GridWeight {
    std::size_t k;
    double w;
};

std::vector<double> timesAfterOffset(const LightCurve& observed, std::int32_t dayOffset) {
    std::vector<double> times(observed.times.size());
    for (std::size_t i = 0; i < times.size(); ++i) {
        times[i] = observed.times[i] - dayOffset;
    }
    return times;
}

std::vector<GridWeight> gridWeights(const std::vector<double>& times, const std::vector<double>& gridTimes) {
    std::vector<GridWeight> weights(gridTimes.size());
    const std::size_t lastSegment = times.size() - 2;
    for (std::size_t j = 0; j < gridTimes.size(); ++j) {
        const auto past = std::upper_bound(times.begin(), times.end(), gridTimes[j]);
        const auto index = static_cast<std::size_t>(past - times.begin());
        const std::size_t k = std::min(index == 0 ? 0 : index - 1, lastSegment);
        const double span = times[k + 1] - times[k];
        weights[j] = {k, span > 0 ? (gridTimes[j] - times[k]) / span : 0.0};
    }
    return weights;
}

// The symmetric pairs (p, q) of a trial, grid indices from 0: the points of
// the method's pairs p + q = trial + 2 (from 1) with p < q <= N.
std::vector<std::pair<std::size_t, std::size_t>> pairsOfTrial(const MethodResult& result, std::int32_t trialNumber) {
    const auto trial = static_cast<std::size_t>(trialNumber);
    const auto points = static_cast<std::size_t>(2 * result.halfCount);
    const std::size_t pFirst = trial + 2 > points ? trial + 2 - points : 1;
    const std::size_t pLast = (trial + 1) / 2;
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    for (std::size_t p = pFirst; p <= pLast; ++p) {
        pairs.emplace_back(p - 1, trial + 1 - p);
    }
    return pairs;
}

std::vector<std::pair<std::size_t, std::size_t>> pairsOfSmallestSum(const MethodResult& result) {
    return pairsOfTrial(result, result.smallestTrial);
}

// The observations' coefficients in g(q) - g(p), merged where p and q share one.
std::array<std::pair<std::size_t, double>, 4> differenceWeights(const GridWeight& p, const GridWeight& q) {
    std::array<std::pair<std::size_t, double>, 4> terms = {
        {{q.k, 1 - q.w}, {q.k + 1, q.w}, {p.k, -(1 - p.w)}, {p.k + 1, -p.w}}};
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

// A smooth curve symmetric about the time of minimum: a quadratic in the
// distance u from it, fitted by least squares to the observations nearest in
// u (both branches folded together), separately at each place.
class SymmetricModel {
public:
    struct Fit {
        double value;
        double slope;     // d(magnitude)/du
        double leverage;  // of an observation at the place itself
    };

    SymmetricModel(const LightCurve& observed, double centre) {
        const std::size_t n = observed.times.size();
        order_.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            order_[i] = {std::fabs(observed.times[i] - centre), observed.magnitudes[i], i};
        }
        std::sort(order_.begin(), order_.end(), [](const Folded& a, const Folded& b) { return a.u < b.u; });
        chooseNeighbours(observed, centre);
    }

    // The fit at u; with `weights`, also the weight of each observation
    // (by its index in the light curve) in the fitted value.
    Fit at(double u, std::vector<std::pair<std::size_t, double>>* weights = nullptr) const {
        // The nearest observations in u: grow a range from where u would sit.
        const auto place = std::lower_bound(order_.begin(), order_.end(), u,
                                            [](const Folded& a, double value) { return a.u < value; });
        std::size_t low = static_cast<std::size_t>(place - order_.begin());
        std::size_t high = low;  // the range is [low, high)
        const std::size_t wanted = std::min(neighbours_, order_.size());
        while (high - low < wanted) {
            const bool canLow = low > 0;
            const bool canHigh = high < order_.size();
            if (canLow && (!canHigh || u - order_[low - 1].u <= order_[high].u - u)) {
                --low;
            } else {
                ++high;
            }
        }
        return fitQuadratic(low, high, u, weights);
    }

private:
    // The number of neighbours that predicts left-out observations best
    // (leave-one-out residuals of a linear smoother are r / (1 - leverage)):
    // few where the curve bends much between observations, many where the
    // noise dominates.
    void chooseNeighbours(const LightCurve& observed, double centre) {
        const std::size_t n = observed.times.size();
        double best = HUGE_VAL;
        for (const std::size_t candidate : {5, 7, 9, 13, 19, 27}) {
            neighbours_ = std::min(candidate, n);
            double squares = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const Fit fit = at(std::fabs(observed.times[i] - centre));
                const double left = (observed.magnitudes[i] - fit.value) / (1 - fit.leverage);
                squares += std::isfinite(left) ? left * left : HUGE_VAL;
            }
            if (squares < best) {
                best = squares;
                chosen_ = neighbours_;
            }
            if (candidate >= n) {
                break;
            }
        }
        neighbours_ = chosen_;
    }

    Fit fitQuadratic(std::size_t low, std::size_t high, double u,
                     std::vector<std::pair<std::size_t, double>>* weights) const {
        // Normal equations in x = u' - u, scaled by the range's width for conditioning.
        double width = 0;
        for (std::size_t j = low; j < high; ++j) {
            width = std::max(width, std::fabs(order_[j].u - u));
        }
        if (width == 0) {
            width = 1;
        }
        std::array<double, 5> power{};  // sums of x^0..x^4
        std::array<double, 3> moment{};  // sums of y x^0..x^2
        for (std::size_t j = low; j < high; ++j) {
            const double x = (order_[j].u - u) / width;
            double xn = 1;
            for (std::size_t e = 0; e < 5; ++e) {
                power[e] += xn;
                if (e < 3) {
                    moment[e] += order_[j].magnitude * xn;
                }
                xn *= x;
            }
        }
        for (std::size_t degree = 2;; --degree) {
            const std::size_t size = degree + 1;
            std::array<double, 9> m{};
            for (std::size_t r = 0; r < size; ++r) {
                for (std::size_t c = 0; c < size; ++c) {
                    m[r * 3 + c] = power[r + c];
                }
            }
            std::array<double, 9> inverse{};
            if (invert(m, size, inverse)) {
                Fit fit{};
                for (std::size_t c = 0; c < size; ++c) {
                    fit.value += inverse[c] * moment[c];
                    if (size > 1) {
                        fit.slope += inverse[3 + c] * moment[c];
                    }
                }
                fit.slope /= width;
                fit.leverage = inverse[0];
                if (weights) {
                    weights->clear();
                    for (std::size_t j = low; j < high; ++j) {
                        const double x = (order_[j].u - u) / width;
                        double weight = 0;
                        for (std::size_t c = size; c-- > 0;) {
                            weight = weight * x + inverse[c];
                        }
                        weights->emplace_back(order_[j].index, weight);
                    }
                }
                return fit;
            }
            if (degree == 0) {
                return {kNaN, kNaN, kNaN};
            }
        }
    }

    // Gauss-Jordan inversion of a symmetric positive matrix of order 1 to 3
    // (row stride 3); false when it is singular to working precision.
    static bool invert(std::array<double, 9> m, std::size_t size, std::array<double, 9>& inverse) {
        inverse.fill(0);
        for (std::size_t i = 0; i < size; ++i) {
            inverse[i * 3 + i] = 1;
        }
        const double scale = m[0];
        for (std::size_t col = 0; col < size; ++col) {
            const double pivot = m[col * 3 + col];
            if (!(std::fabs(pivot) > 1e-12 * scale)) {
                return false;
            }
            for (std::size_t c = 0; c < size; ++c) {
                m[col * 3 + c] /= pivot;
                inverse[col * 3 + c] /= pivot;
            }
            for (std::size_t r = 0; r < size; ++r) {
                if (r != col) {
                    const double factor = m[r * 3 + col];
                    for (std::size_t c = 0; c < size; ++c) {
                        m[r * 3 + c] -= factor * m[col * 3 + c];
                        inverse[r * 3 + c] -= factor * inverse[col * 3 + c];
                    }
                }
            }
        }
        return true;
    }

    struct Folded {
        double u;  // the distance from the centre
        double magnitude;
        std::size_t index;  // in the light curve
    };
    std::vector<Folded> order_;  // by u
    std::size_t neighbours_ = 0;
    std::size_t chosen_ = 5;  // when no count predicts at all (too few observations)
};

// The symmetric model at each observation and the residuals from it, each
// divided by sqrt(1 - leverage) so that white noise keeps its variance.
struct Residuals {
    std::vector<double> model;
    std::vector<double> scaled;
    // Each scaled residual as a combination of the observations.
    std::vector<std::vector<std::pair<std::size_t, double>>> rows;
    double rms = kNaN;
};

Residuals residualsFromSymmetricModel(const LightCurve& observed, const SymmetricModel& model, double centre) {
    const std::size_t n = observed.times.size();
    Residuals residuals;
    residuals.model.resize(n);
    residuals.scaled.resize(n);
    residuals.rows.resize(n);
    double squares = 0;
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<std::pair<std::size_t, double>>& row = residuals.rows[i];
        const SymmetricModel::Fit fit = model.at(std::fabs(observed.times[i] - centre), &row);
        residuals.model[i] = fit.value;
        const double kept = 1 - fit.leverage;
        const double scale = kept > 0.05 ? 1 / std::sqrt(kept) : 0.0;
        residuals.scaled[i] = (observed.magnitudes[i] - fit.value) * scale;
        for (auto& [index, weight] : row) {
            weight = -weight * scale;
        }
        row.emplace_back(i, scale);
        squares += residuals.scaled[i] * residuals.scaled[i];
    }
    residuals.rms = std::sqrt(squares / static_cast<double>(n));
    return residuals;
}

// The time over which the symmetric model falls from 90 % to 10 % of its
// depth within the window: the scale at which noise moves a time of minimum.
double ingressTimeScale(const LightCurve& observed, const Residuals& residuals, double centre) {
    const auto [shallow, deep] = std::minmax_element(residuals.model.begin(), residuals.model.end());
    const double depth = *deep - *shallow;
    std::vector<std::pair<double, double>> folded;  // (u, model)
    for (std::size_t i = 0; i < residuals.model.size(); ++i) {
        folded.emplace_back(std::fabs(observed.times[i] - centre), residuals.model[i]);
    }
    std::sort(folded.begin(), folded.end());
    double u90 = kNaN;
    double u10 = kNaN;
    for (const auto& [u, value] : folded) {
        if (std::isnan(u90) && value <= *shallow + 0.9 * depth) {
            u90 = u;
        }
        if (std::isnan(u10) && value <= *shallow + 0.1 * depth) {
            u10 = u;
        }
    }
    if (std::isnan(u10)) {
        u10 = folded.back().first;
    }
    return std::isnan(u90) ? kNaN : u10 - u90;
}

// beta = the scatter of the residuals summed in bins of a given duration
// over the scatter that white noise would give them, each relative to the
// unbinned scatter; the squares are averaged over bins of 0.5 to 1.5 times
// the ingress time scale, and beta is at least 1. The white-noise reference
// goes through the same symmetric model as the data (each residual is a known
// combination of the observations), since the model takes up part of the
// slow noise of both.
double timeAveragingBeta(const LightCurve& observed, const Residuals& residuals, double timeScale) {
    const std::size_t n = observed.times.size();
    if (!(timeScale > 0) || n < 6 || !(residuals.rms > 0)) {
        return 1;
    }
    double unbinned = 0;
    double unbinnedWhite = 0;
    for (std::size_t i = 0; i < n; ++i) {
        unbinned += residuals.scaled[i] * residuals.scaled[i];
        for (const auto& [index, weight] : residuals.rows[i]) {
            unbinnedWhite += weight * weight;
        }
    }
    std::vector<double> coefficients(n);
    double ratioSum = 0;
    int widths = 0;
    for (const double factor : {0.5, 0.75, 1.0, 1.25, 1.5}) {
        const double width = factor * timeScale;
        // Bins begin at three phases: each phase alone would leave the
        // estimate to a handful of bins.
        for (const double phase : {0.0, 1.0 / 3, 2.0 / 3}) {
            auto binOf = [&](std::size_t i) {
                return std::floor((observed.times[i] - observed.times[0]) / width + phase);
            };
            double binned = 0;
            double binnedWhite = 0;
            std::size_t bins = 0;
            for (std::size_t first = 0; first < n;) {
                std::size_t last = first;
                double sum = 0;
                std::fill(coefficients.begin(), coefficients.end(), 0.0);
                while (last < n && binOf(last) == binOf(first)) {
                    sum += residuals.scaled[last];
                    for (const auto& [index, weight] : residuals.rows[last]) {
                        coefficients[index] += weight;
                    }
                    ++last;
                }
                binned += sum * sum;
                for (const double c : coefficients) {
                    binnedWhite += c * c;
                }
                ++bins;
                first = last;
            }
            if (bins >= 3 && binnedWhite > 0) {
                ratioSum += (binned / binnedWhite) / (unbinned / unbinnedWhite);
                ++widths;
            }
        }
    }
    return widths > 0 ? std::max(1.0, std::sqrt(ratioSum / widths)) : 1.0;
}

// The variance, per s^4 of white noise, of the difference of the noise's own
// sums at the trials on either side of the smallest: the parabola through
// three sums moves its vertex by (S(k-1) - S(k+1)) / (4 a s) for trial
// spacing s, and those two sums fold different pairs. For Gaussian noise the
// variance of e'Be is 2 tr(B^2) with B = sum of d d' over the pairs of trial
// k - 1 minus the same over trial k + 1, d the coefficients of g(q) - g(p);
// tr(B^2) = sum over pairs a, b of the signed squares (d_a . d_b)^2, and
// d_a . d_b vanishes unless the two pairs share an observation.
double neighbourSumFluctuation(const MethodResult& result, const std::vector<GridWeight>& weights) {
    struct Entry {
        std::size_t observation;
        std::size_t pair;
        double coefficient;
    };
    std::vector<Entry> entries;
    std::vector<double> signs;
    for (const std::int32_t offset : {-1, 1}) {
        for (const auto& [p, q] : pairsOfTrial(result, result.smallestTrial + offset)) {
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
    std::vector<std::pair<std::uint64_t, double>> products;
    for (std::size_t first = 0; first < entries.size();) {
        std::size_t last = first;
        while (last < entries.size() && entries[last].observation == entries[first].observation) {
            ++last;
        }
        for (std::size_t a = first; a < last; ++a) {
            for (std::size_t b = first; b < last; ++b) {
                const std::uint64_t key = static_cast<std::uint64_t>(entries[a].pair) * signs.size() + entries[b].pair;
                products.emplace_back(key, entries[a].coefficient * entries[b].coefficient);
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
    std::array<std::pair<std::size_t, double>, 4> weights;
};

// beta from the pair differences of the smallest sum: with the part that a
// shift of the trial explains removed, their slope-weighted sums over blocks
// of pairs spanning a given range of u scatter as much as white noise of
// their own unbinned scatter would make them (the grid's sharing of
// observations included), or more when the noise is correlated. Blocks span
// 0.5 to 1.5 times the ingress time scale; the ratios of variances are
// averaged. Pair differences need no model of the curve, so the slow part of
// the noise is kept whole.
double pairDifferenceBeta(const std::vector<PairTerm>& terms, double timeScale, std::size_t observations) {
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
    std::vector<double> coefficients(observations);
    double ratioSum = 0;
    int widths = 0;
    for (const double factor : {0.5, 0.75, 1.0, 1.25, 1.5}) {
        const double width = factor * timeScale;
        double binned = 0;     // sum of squared block sums
        double expected = 0;   // the same for white noise of unit variance
        double unbinned = 0;   // sum of squared residual differences
        double weightSquares = 0;
        std::size_t blocks = 0;
        for (std::size_t first = 0; first < terms.size();) {
            std::size_t last = first;
            double sum = 0;
            std::fill(coefficients.begin(), coefficients.end(), 0.0);
            while (last < terms.size() && terms[last].distance < terms[first].distance + width) {
                const PairTerm& term = terms[last++];
                const double residual = term.difference - shift * term.slope;
                sum += term.slope * residual;
                unbinned += residual * residual;
                for (const auto& [index, weight] : term.weights) {
                    coefficients[index] += term.slope * weight;
                    weightSquares += weight * weight;
                }
            }
            binned += sum * sum;
            for (const double c : coefficients) {
                expected += c * c;
            }
            ++blocks;
            first = last;
        }
        if (blocks >= 3 && expected > 0 && unbinned > 0) {
            // The block sums add up to zero once the shift is removed: one of
            // them is not free.
            const double blockVariance = binned * static_cast<double>(blocks) / static_cast<double>(blocks - 1);
            ratioSum += (blockVariance / expected) / (unbinned / weightSquares);
            ++widths;
        }
    }
    return widths > 0 ? std::max(1.0, std::sqrt(ratioSum / widths)) : 1.0;
}

// The grid's factors at the smallest sum (Q and rho, see the header), and
// beta measured on the pair differences.
struct GridFactors {
    GridNoiseFactors noise;
    double pairBeta = 1;
};

GridFactors gridFactors(const LightCurve& observed, const MethodResult& result, const SymmetricModel& model,
                        double timeScale) {
    const std::vector<double> times = timesAfterOffset(observed, result.dayOffset);
    const std::vector<GridWeight> weights = gridWeights(times, result.gridTimes);
    const double trialTime = result.trialTimes[static_cast<std::size_t>(result.smallestTrial - 1)];
    GridFactors factors;
    const auto pairs = pairsOfSmallestSum(result);
    factors.noise.pairs = static_cast<std::int32_t>(pairs.size());
    std::vector<PairTerm> terms;
    terms.reserve(pairs.size());
    std::vector<double> sensitivity(times.size(), 0.0);  // c(i) = sum over pairs of f'(u) d(g(q) - g(p))/dy(i)
    double squaredWeights = 0;
    double squaredSlopes = 0;
    for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {  // by increasing distance
        const auto [p, q] = *pair;
        const double distance = result.gridTimes[q] - trialTime;
        const PairTerm term{distance, model.at(distance).slope, result.gridMagnitudes[q] - result.gridMagnitudes[p],
                            differenceWeights(weights[p], weights[q])};
        squaredSlopes += term.slope * term.slope;
        for (const auto& [index, weight] : term.weights) {
            squaredWeights += weight * weight;
            sensitivity[index] += term.slope * weight;
        }
        terms.push_back(term);
    }
    double squaredSensitivity = 0;
    for (const double c : sensitivity) {
        squaredSensitivity += c * c;
    }
    factors.noise.sumOfSquaredWeights = squaredWeights;
    factors.noise.timingFactor = squaredSlopes > 0 ? squaredSensitivity / (2 * squaredSlopes) : kNaN;
    factors.noise.sumFluctuation = neighbourSumFluctuation(result, weights);
    factors.pairBeta = pairDifferenceBeta(terms, timeScale, times.size());
    return factors;
}

// The smallest sum as the parabola gives it at its vertex; the smallest sum
// itself when the vertex value is not positive. Taken at the vertex, it holds
// no part of the curve's slope (the trial lies up to a quarter step off it).
double smallestSum(const MethodResult& result) {
    return result.meanValue > 0 ? result.meanValue : result.sums[static_cast<std::size_t>(result.smallestTrial - 1)];
}

// Replicas: the symmetric model plus the residuals in a new arrangement, each
// re-timed; the RMS of their times about the measured one.
struct ReplicaTimes {
    double rms = kNaN;
    std::int32_t lost = 0;
};

template <typename Arrange>
ReplicaTimes retimeReplicas(const LightCurve& observed, const Residuals& residuals, double measured,
                            std::int32_t count, const RetimeLightCurve& retime, Arrange arrange) {
    const std::size_t n = observed.times.size();
    std::vector<double> magnitudes(n);
    ReplicaTimes result;
    double squares = 0;
    std::int32_t timed = 0;
    for (std::int32_t replica = 0; replica < count; ++replica) {
        for (std::size_t i = 0; i < n; ++i) {
            magnitudes[i] = residuals.model[i] + arrange(replica, i);
        }
        const std::optional<double> time = retime(LightCurve{observed.times, magnitudes});
        if (time && std::isfinite(*time)) {
            squares += (*time - measured) * (*time - measured);
            ++timed;
        } else {
            ++result.lost;
        }
    }
    result.rms = timed >= 2 ? std::sqrt(squares / timed) : kNaN;
    return result;
}

// Cyclic shifts of the residuals, which keep their correlation, each also
// with its sign reversed: 2 (n - 1) distinct arrangements, taken evenly from
// a starting one drawn with the seed.
ReplicaTimes prayerBead(const LightCurve& observed, const Residuals& residuals, double measured, std::int32_t count,
                        std::uint64_t seed, const RetimeLightCurve& retime) {
    const std::size_t n = observed.times.size();
    const std::size_t arrangements = 2 * (n - 1);
    const auto replicas = static_cast<std::int32_t>(std::min<std::size_t>(static_cast<std::size_t>(count), arrangements));
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

// Residuals drawn independently with replacement: white noise of the same
// distribution, for comparison with the shifts.
ReplicaTimes residualBootstrap(const LightCurve& observed, const Residuals& residuals, double measured,
                               std::int32_t count, std::uint64_t seed, const RetimeLightCurve& retime) {
    const std::size_t n = observed.times.size();
    std::mt19937_64 random(seed ^ 0x9e3779b97f4a7c15ULL);
    std::uniform_int_distribution<std::size_t> draw(0, n - 1);
    return retimeReplicas(observed, residuals, measured, count, retime,
                          [&](std::int32_t, std::size_t) { return residuals.scaled[draw(random)]; });
}

void requireProperMinimum(const LightCurve& observed, const MethodResult& result) {
    if (result.improper || observed.times.size() < 3 || observed.times.size() != observed.magnitudes.size() ||
        result.smallestTrial <= result.halfCount || result.smallestTrial >= 3 * result.halfCount ||
        result.gridTimes.size() < static_cast<std::size_t>(2 * result.halfCount) ||
        result.trialTimes.size() < static_cast<std::size_t>(4 * result.halfCount - 1)) {
        throw std::invalid_argument("an error is estimated for a proper minimum of three or more observations");
    }
}

// What every estimate shares: the symmetric model and the residuals from it,
// the grid's factors, the noise per observation and the linear error.
struct Analysis {
    Residuals residuals;
    double timeScale = kNaN;
    GridFactors grid;
    double noise = kNaN;   // s per observation (magnitudes)
    double linear = kNaN;  // linearError
    double beta = 1;       // time-averaging beta of the residuals
};

Analysis analyse(const LightCurve& observed, const MethodResult& result, const ErrorOptions& options) {
    requireProperMinimum(observed, result);
    Analysis analysis;
    const double centre = result.minimumTime;
    const SymmetricModel model(observed, centre);
    analysis.residuals = residualsFromSymmetricModel(observed, model, centre);
    analysis.timeScale = ingressTimeScale(observed, analysis.residuals, centre);
    analysis.grid = gridFactors(observed, result, model, analysis.timeScale);
    const GridNoiseFactors& factors = analysis.grid.noise;
    // The smallest sum holds s^2 Q (P - 1) / P for white noise s: one of the
    // P pairs' worth is taken up by the fitted time.
    const double pairs = factors.pairs;
    analysis.noise = options.noise ? *options.noise
                                   : std::sqrt(smallestSum(result) * pairs /
                                               ((pairs - 1) * factors.sumOfSquaredWeights));
    analysis.linear = linearError(factors, analysis.noise * analysis.noise, result.a, result.step);
    analysis.beta = timeAveragingBeta(observed, analysis.residuals, analysis.timeScale);
    return analysis;
}

std::int32_t replicaCount(const LightCurve& observed, const ErrorOptions& options) {
    return options.replicas > 0 ? options.replicas : automaticReplicaCount(observed.times.size());
}

}  // namespace

GridNoiseFactors gridNoiseFactors(const LightCurve& observed, const MethodResult& result) {
    requireProperMinimum(observed, result);
    const SymmetricModel model(observed, result.minimumTime);
    return gridFactors(observed, result, model, kNaN).noise;
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

std::vector<std::string> methodFlags(const LightCurve& observed, const MethodResult& result) {
    requireProperMinimum(observed, result);
    std::vector<std::string> flags;
    if (result.meanValue < 0) {
        flags.emplace_back(kNegativeVertex);
    }
    // Observations folded onto each other at the smallest sum, on its shorter side.
    const double trialTime = result.trialTimes[static_cast<std::size_t>(result.smallestTrial - 1)];
    const auto pairs = pairsOfSmallestSum(result);
    const double reach = trialTime - result.gridTimes[pairs.front().first];
    std::size_t before = 0;
    std::size_t after = 0;
    for (const double t : observed.times) {
        const double x = t - result.dayOffset;
        before += x >= trialTime - reach && x < trialTime;
        after += x > trialTime && x <= trialTime + reach;
    }
    if (std::min(before, after) < kFewestFoldedObservations) {
        flags.emplace_back(kFewPairs);
    }
    const double low = result.trialTimes[static_cast<std::size_t>(result.halfCount - 1)];
    const double high = result.trialTimes[static_cast<std::size_t>(3 * result.halfCount - 1)];
    const double vertex = result.minimumTime - result.dayOffset;
    if (std::min(vertex - low, high - vertex) < kEdgeFraction * (high - low)) {
        flags.emplace_back(kEdge);
    }
    return flags;
}

ErrorCandidates weighErrors(const LightCurve& observed, const MethodResult& result, const ErrorOptions& options,
                            const RetimeLightCurve& retime) {
    const Analysis analysis = analyse(observed, result, options);
    const GridNoiseFactors& factors = analysis.grid.noise;
    const double pairs = factors.pairs;
    ErrorCandidates out;
    out.classic = result.classicError;
    out.deegPlain = std::sqrt(2 * smallestSum(result) / (2 * (pairs - 1)) / result.a);
    out.sumFactor = factors.sumOfSquaredWeights / (2 * pairs);
    out.timingFactor = factors.timingFactor;
    out.noise = analysis.noise;
    out.deegGrid = std::sqrt(2 * factors.timingFactor * analysis.noise * analysis.noise / result.a);
    out.linear = analysis.linear;
    out.residualNoise = analysis.residuals.rms;
    out.beta = analysis.beta;
    out.pairBeta = analysis.grid.pairBeta;
    out.replicas = replicaCount(observed, options);
    const double centre = result.minimumTime;
    const ReplicaTimes shifted = prayerBead(observed, analysis.residuals, centre, out.replicas, options.seed, retime);
    out.prayerBead = shifted.rms;
    const ReplicaTimes drawn =
        residualBootstrap(observed, analysis.residuals, centre, out.replicas, options.seed, retime);
    out.residualBootstrap = drawn.rms;
    out.replicasLost = drawn.lost;
    out.error = combineErrors(out.linear, out.residualBootstrap, std::max(out.beta, out.pairBeta));
    return out;
}

double combineErrors(double linear, double bootstrap, double inflation) {
    const bool linearHolds = std::isfinite(linear) && !(bootstrap > kLinearRegimeLimit * linear);
    const double base = linearHolds || !std::isfinite(bootstrap) ? linear : bootstrap;
    return base * inflation;
}

ErrorEstimate estimateError(const LightCurve& observed, const MethodResult& result, const ErrorOptions& options,
                            const RetimeLightCurve& retime) {
    const Analysis analysis = analyse(observed, result, options);
    const std::int32_t replicas = replicaCount(observed, options);
    const ReplicaTimes drawn =
        residualBootstrap(observed, analysis.residuals, result.minimumTime, replicas, options.seed, retime);
    ErrorEstimate estimate;
    estimate.error = combineErrors(analysis.linear, drawn.rms, std::max(analysis.beta, analysis.grid.pairBeta));
    estimate.flags = methodFlags(observed, result);
    if (analysis.grid.pairBeta > kAsymmetricPairBeta) {
        estimate.flags.emplace_back(kAsymmetric);
    }
    if (drawn.lost > kLostReplicaFraction * replicas) {
        estimate.flags.emplace_back(kReplicasLost);
    }
    return estimate;
}

}  // namespace kvw::uncertainty
