// Minimum refinement: SymmetryScan -> the time of minimum. Takes the smallest
// sum among trials K..3K, fits a parabola through it and its neighbours, and
// gives the vertex value, the time of minimum and its error (or an improper
// minimum).
#pragma once

#include <cstdint>

#include "analysis/symmetry_scan.h"

namespace kvw::analysis {

struct MinimumFit {
    bool improper = false;           // the smallest sum lies at trial K or 3K
    std::int32_t smallestTrial = 0;  // kmin, counted from 1
    double a = 0;                    // S(T) = A T^2 + B T + C, T in days after D
    double b = 0;
    double c = 0;
    double meanValue = 0;    // the parabola's value at its vertex
    double minimumTime = 0;  // absolute, days
    double error = 0;        // after Kwee and van Woerden
};

// The fit, computed without printing. Nothing but `improper` and
// `smallestTrial` is set for an improper minimum.
MinimumFit fitMinimum(const SymmetryScan& scan, std::int32_t halfCount, std::int32_t branchPoints,
                      std::int32_t dayOffset);

// Fits and prints the report, or the improper-minimum line, on standard output.
void refineMinimum(const SymmetryScan& scan, std::int32_t halfCount, std::int32_t branchPoints,
                   std::int32_t dayOffset);

}  // namespace kvw::analysis
