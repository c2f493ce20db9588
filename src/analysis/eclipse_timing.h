// The method in memory: times and magnitudes in, the timing of the eclipse
// out, with no file and no console. Both programs time eclipses through the
// phases it runs; the console program adds its files around them.
#pragma once

#include <span>

#include "analysis/branch.h"
#include "analysis/minimum.h"
#include "analysis/symmetry_scan.h"
#include "analysis/working_storage.h"

namespace kvw::analysis {

struct EclipseTiming {
    ResampledCurve curve;  // the branch window and the grid
    SymmetryScan scan;     // every trial's time, pair count and sum
    MinimumFit fit;        // improper, or the time of minimum, its error and the mean value
};

// Times one eclipse: the branch window, the resampling, the scan and the
// parabola, exactly as the console program does for a file holding the same
// pairs in the same order. At least two observations; the storage must be
// reserved for at least as many (reserveWorkingStorage), and the curve and
// scan of the result point into it. Raises UnusableCurve for a curve that
// cannot be resampled.
EclipseTiming timeEclipse(std::span<const double> times, std::span<const double> magnitudes,
                          WorkingStorage& storage);

}  // namespace kvw::analysis
