#include "analysis/working_storage.h"

namespace kvw::analysis {

namespace {

// The branch window holds at most n + 1 points (nw), so K = nw + 3 is at most
// n + 4: a grid of 2K + 1 points and 4K - 1 trials.
std::size_t largestGrid(std::size_t observations) {
    return 2 * observations + 9;
}

std::size_t largestTrialCount(std::size_t observations) {
    return 4 * observations + 15;
}

}  // namespace

void reserveWorkingStorage(WorkingStorage& storage, std::size_t observations) {
    const std::size_t grid = largestGrid(observations);
    const std::size_t trials = largestTrialCount(observations);
    const std::size_t segments = observations;  // n - 1 segments, at least one
    ResamplingStorage& resampling = storage.resampling;
    resampling.gridTimes.reserve(grid);
    resampling.gridMagnitudes.reserve(grid);
    resampling.segments.reserve(grid);
    resampling.usableSegments.reserve(segments);
    resampling.gridOrder.reserve(grid);
    resampling.openSegments.reserve(segments);
    storage.scan.trialTimes.reserve(trials);
    storage.scan.sums.reserve(trials);
    storage.scan.pairCounts.reserve(trials);
}

}  // namespace kvw::analysis
