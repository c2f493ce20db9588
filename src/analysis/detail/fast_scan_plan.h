// The first half of the fast scan, apart, for the benchmark that measures how
// much of the scan the error bound leaves to the exact sums. Internal to the
// analysis library (and its benchmarks).
#pragma once

#include <cstdint>
#include <span>

#include "analysis/fast_scan.h"

namespace kvw::analysis {

// Every sum estimated, the pair counts written, and the trials to be summed
// exactly listed in exactTrials[0..outcome.exactTrials), increasing; their
// sums are not yet exact. fastSymmetricSums then sums the listed trials.
FastScanOutcome planSymmetricSums(std::span<const double> magnitudes, std::int32_t halfCount,
                                  std::span<double> sums, std::span<std::int32_t> pairCounts,
                                  const FastScanBuffers& buffers);

}  // namespace kvw::analysis
