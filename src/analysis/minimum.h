// Minimum refinement: SymmetryScan -> the time of minimum. Takes the smallest
// sum among trials K..3K, fits a parabola through it and its neighbours, and
// gives the vertex value, the time of minimum and its error (or an improper
// minimum).
#pragma once

#include <cstdint>

#include "analysis/symmetry_scan.h"

namespace kvw::analysis {

// The trials searched for the smallest sum: K to 3K of the 4K - 1, counted from 1.
struct TrialRange {
    std::int32_t first = 0;
    std::int32_t last = 0;
};
constexpr TrialRange searchedTrials(std::int32_t halfCount) {
    return {halfCount, 3 * halfCount};
}

struct MinimumFit {
    bool improper = false;           // the smallest sum lies at trial K or 3K
    std::int32_t smallestTrial = 0;  // kmin, counted from 1
    double a = 0;                    // S(T) = A T^2 + B T + C, T in days after D
    double b = 0;
    double c = 0;
    double meanValue = 0;    // the parabola's value at its vertex
    double minimumTime = 0;  // absolute, days
    double error = 0;        // after Kwee and van Woerden
    int singularRows = 0;    // rows of the parabola's system that are all zero (then singular)
};

// The fit. Nothing but `improper` and `smallestTrial` is set for an improper
// minimum. A singular system is solved all the same (its zero pivots
// replaced) and counted in `singularRows`, for the caller to report.
MinimumFit fitMinimum(const SymmetryScan& scan, std::int32_t halfCount, std::int32_t branchPoints,
                      std::int32_t dayOffset);

}  // namespace kvw::analysis
