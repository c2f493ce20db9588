// Each observation's share of the noise variance, from the errors the points
// carry: their squares over the mean square, all 1 without errors. The errors
// give the noise its shape across the window; its scale still comes from the
// sums, since photometric errors are often off by a common factor
// (docs/ERRORS.md, "Points that carry errors"). Internal to the uncertainty
// library.
#pragma once

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

namespace kvw::uncertainty::detail {

class NoiseShares {
public:
    NoiseShares() = default;  // every observation alike

    // From the errors of `observations` points: alike unless every error is
    // finite and positive.
    NoiseShares(std::span<const double> errors, std::size_t observations) {
        if (errors.size() != observations || observations == 0) {
            return;
        }
        double squares = 0;
        for (const double error : errors) {
            if (!(std::isfinite(error) && error > 0)) {
                return;
            }
            squares += error * error;
        }
        const double mean = squares / static_cast<double>(observations);
        for (const double error : errors) {
            shares_.push_back(error * error / mean);
        }
    }

    double operator[](std::size_t observation) const { return shares_.empty() ? 1.0 : shares_[observation]; }
    bool alike() const { return shares_.empty(); }

private:
    std::vector<double> shares_;
};

}  // namespace kvw::uncertainty::detail
