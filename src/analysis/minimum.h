// Minimum refinement: SymmetryScan -> report. Takes the smallest sum among
// trials K..3K, fits a parabola through it and its neighbours, and prints the
// vertex value, the time of minimum and its error (or the improper-minimum line).
#pragma once

#include <cstdint>

#include "analysis/symmetry_scan.h"

namespace kvw::analysis {

struct MinimumReport {
    bool improper = false;
    std::int32_t smallestTrial = 0;  // kmin, counted from 1
    double a = 0;                    // S(T) = A T^2 + B T + C
    double b = 0;
    double c = 0;
    double meanValue = 0;
    double minimumTime = 0;  // absolute, days
    double error = 0;
};

// The report, computed without printing.
MinimumReport fitMinimum(const SymmetryScan& scan, std::int32_t halfCount, std::int32_t branchPoints,
                         std::int32_t dayOffset);

// Computes the report and prints it, or the improper-minimum line, on
// standard output.
MinimumReport refineMinimum(const SymmetryScan& scan, std::int32_t halfCount, std::int32_t branchPoints,
                            std::int32_t dayOffset);

}  // namespace kvw::analysis
