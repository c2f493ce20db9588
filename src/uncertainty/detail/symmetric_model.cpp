#include "detail/symmetric_model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "detail/beta.h"
#include "linalg/lu.h"

namespace kvw::uncertainty::detail {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Rows 0 and 1 of the inverse of the symmetric normal matrix of order 1 to 3
// (the fit's value and slope as combinations of the moments), solved by LU;
// false when the matrix is singular to working precision (a pivot of 1e-12 of
// the number of points or less).
bool valueAndSlopeRows(const std::array<double, 9>& normal, std::size_t size, std::array<double, 3>& valueRow,
                       std::array<double, 3>& slopeRow) {
    const auto order = static_cast<int>(size);
    std::array<double, 9> factors = normal;  // column-major with column length `size`: symmetric
    std::array<int, 3> pivotRows{};
    double parity = 0;
    if (linalg::ludcmp(factors, order, order, pivotRows, parity) > 0) {
        return false;
    }
    for (std::size_t j = 0; j < size; ++j) {
        if (!(std::fabs(factors[j * size + j]) > 1e-12 * normal[0])) {
            return false;
        }
    }
    valueRow = {1, 0, 0};
    slopeRow = {0, 1, 0};
    linalg::lubksb(factors, order, order, pivotRows, valueRow);
    if (size > 1) {
        linalg::lubksb(factors, order, order, pivotRows, slopeRow);
    }
    return true;
}

}  // namespace

SymmetricModel::SymmetricModel(const Observations& observed, double centre, std::optional<std::size_t> neighbours) {
    const std::size_t n = observed.times.size();
    order_.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        order_[i] = {std::fabs(observed.times[i] - centre), observed.magnitudes[i], i};
    }
    std::sort(order_.begin(), order_.end(), [](const Folded& a, const Folded& b) { return a.u < b.u; });
    if (neighbours) {
        neighbours_ = chosen_ = *neighbours;
    } else {
        chooseNeighbours(observed, centre);
    }
}

SymmetricModel::Fit SymmetricModel::at(double u, Weights* weights) const {
    // The nearest observations in u: grow a range from where u would sit.
    const auto place =
        std::lower_bound(order_.begin(), order_.end(), u, [](const Folded& a, double value) { return a.u < value; });
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

// The number of neighbours that predicts left-out observations best
// (leave-one-out residuals of a linear smoother are r / (1 - leverage)): few
// where the curve bends much between observations, many where the noise
// dominates. Up to 157: a model of too few keeps part of the noise, folded
// and so symmetric about the centre, which pins the replicas' minima there
// (at a 20-second cadence and a depth of 5 times the noise their spread was
// half the true one with at most 27). Every count is tried: the error of
// prediction is too noisy a function of the count to stop at its first rise.
void SymmetricModel::chooseNeighbours(const Observations& observed, double centre) {
    const std::size_t n = observed.times.size();
    double best = HUGE_VAL;
    for (const std::size_t candidate : {5, 7, 9, 13, 19, 27, 39, 55, 79, 111, 157}) {
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

SymmetricModel::Fit SymmetricModel::fitQuadratic(std::size_t low, std::size_t high, double u,
                                                 Weights* weights) const {
    // Normal equations in x = u' - u, scaled by the range's width for conditioning.
    double width = 0;
    for (std::size_t j = low; j < high; ++j) {
        width = std::max(width, std::fabs(order_[j].u - u));
    }
    if (width == 0) {
        width = 1;
    }
    std::array<double, 5> power{};   // sums of x^0..x^4
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
    // A quadratic where the points allow one, else a line, else a constant.
    for (std::size_t size = 3; size >= 1; --size) {
        std::array<double, 9> normal{};
        for (std::size_t r = 0; r < size; ++r) {
            for (std::size_t c = 0; c < size; ++c) {
                normal[c * size + r] = power[r + c];
            }
        }
        std::array<double, 3> valueRow{};
        std::array<double, 3> slopeRow{};
        if (!valueAndSlopeRows(normal, size, valueRow, slopeRow)) {
            continue;
        }
        Fit fit{};
        for (std::size_t c = 0; c < size; ++c) {
            fit.value += valueRow[c] * moment[c];
            if (size > 1) {
                fit.slope += slopeRow[c] * moment[c];
            }
        }
        fit.slope /= width;
        fit.leverage = valueRow[0];
        if (weights) {
            weights->clear();
            for (std::size_t j = low; j < high; ++j) {
                const double x = (order_[j].u - u) / width;
                double weight = 0;
                for (std::size_t c = size; c-- > 0;) {
                    weight = weight * x + valueRow[c];
                }
                weights->emplace_back(order_[j].index, weight);
            }
        }
        return fit;
    }
    return {kNaN, kNaN, kNaN};
}

Residuals residualsFromSymmetricModel(const Observations& observed, const SymmetricModel& model, double centre) {
    const std::size_t n = observed.times.size();
    Residuals residuals;
    residuals.model.resize(n);
    residuals.scaled.resize(n);
    residuals.rows.resize(n);
    double squares = 0;
    for (std::size_t i = 0; i < n; ++i) {
        Weights& row = residuals.rows[i];
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

double ingressTimeScale(const Observations& observed, const Residuals& residuals, double centre) {
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

// The distance from the centre at which the symmetric model has come back
// to less than half its depth: a time farther out lies outside the eclipse.
double halfDepthReach(const Observations& observed, const Residuals& residuals, double centre) {
    const auto [shallow, deep] = std::minmax_element(residuals.model.begin(), residuals.model.end());
    const double halfDepth = *shallow + 0.5 * (*deep - *shallow);
    double reach = HUGE_VAL;
    for (std::size_t i = 0; i < residuals.model.size(); ++i) {
        if (residuals.model[i] < halfDepth) {
            reach = std::min(reach, std::fabs(observed.times[i] - centre));
        }
    }
    return reach;
}

// beta = the scatter of the residuals summed in bins of a given duration over
// the scatter that white noise would give them, each relative to the unbinned
// scatter. The white-noise reference goes through the same symmetric model as
// the data (each residual is a known combination of the observations), since
// the model takes up part of the slow noise of both. Only bin widths whose
// bins hold kFewestPerBin observations on average count: over fewer, binning
// averages nothing and the ratio is noise.
double timeAveragingBeta(const Observations& observed, const Residuals& residuals, double timeScale,
                         const NoiseShares& shares) {
    constexpr double kFewestPerBin = 4;
    const std::size_t n = observed.times.size();
    if (!(timeScale > 0) || n < 6 || !(residuals.rms > 0)) {
        return 1;
    }
    double unbinned = 0;
    double unbinnedWhite = 0;
    for (std::size_t i = 0; i < n; ++i) {
        unbinned += residuals.scaled[i] * residuals.scaled[i];
        for (const auto& [index, weight] : residuals.rows[i]) {
            unbinnedWhite += weight * weight * shares[index];
        }
    }
    BinCoefficients coefficients(n);
    return averagedBeta(timeScale, [&](double width, RatioMean& mean) {
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
                while (last < n && binOf(last) == binOf(first)) {
                    sum += residuals.scaled[last];
                    coefficients.add(residuals.rows[last], 1.0);
                    ++last;
                }
                binned += sum * sum;
                coefficients.addSquaredNormTo(binnedWhite, shares);
                ++bins;
                first = last;
            }
            const bool filled = static_cast<double>(n) >= kFewestPerBin * static_cast<double>(bins);
            if (bins >= 3 && filled && binnedWhite > 0) {
                mean.add((binned / binnedWhite) / (unbinned / unbinnedWhite));
            }
        }
    });
}

}  // namespace kvw::uncertainty::detail
