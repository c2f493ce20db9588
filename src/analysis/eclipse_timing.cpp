#include "analysis/eclipse_timing.h"

namespace kvw::analysis {

EclipseTiming timeEclipse(std::span<const double> times, std::span<const double> magnitudes,
                          WorkingStorage& storage) {
    EclipseTiming timing;
    timing.curve = selectBranchAndResample(times, magnitudes, storage.resampling);
    timing.scan = computeSymmetry(timing.curve, storage.scan);
    timing.fit = fitMinimum(timing.scan, timing.curve.halfCount, timing.curve.branchPoints, timing.curve.dayOffset);
    return timing;
}

}  // namespace kvw::analysis
