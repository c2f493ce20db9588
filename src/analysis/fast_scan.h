// The symmetry sums of an even grid by convolution, for the grids on which
// exactly the symmetric pairs p + q = i + 2 pass the pair test.
//
// S(i) = sum over p < q of (g_m(p) - g_m(q))^2 is, with x = g_m - mean, the sum
// of x^2 over the points that take part minus the self-convolution of x, for all
// trials at once by FFT. Every such value carries a rigorous bound on its
// distance from the sum the exact scan forms pair by pair (the transform's
// rounding plus the worst case of the sequential rounding). The exact
// sequential sum is computed for every trial whose printed F14.8 text the
// bound cannot settle, for every trial that might be the smallest of trials
// K..3K, and for the neighbours of those; every other sum is a double that
// prints as the exact one does and is no smaller than the smallest sum.
//
// Plain procedural numerics: the caller owns every buffer;
// fastScanExtentsForGrid says how large they must be.
#pragma once

#include <cstdint>
#include <span>

#include "analysis/fft.h"

namespace kvw::analysis {

// Whether grids of this many paired points take the fast path: below, the
// exact scan alone is as fast.
inline constexpr std::int64_t kFastScanPoints = 4096;
inline bool fastScanApplies(std::int64_t pairedPoints) {
    return pairedPoints >= kFastScanPoints;
}

// Entries of each buffer.
struct FastScanExtents {
    std::size_t transform = 0;  // the FFT's points, a power of two
    std::size_t twiddles = 0;
    std::size_t trials = 0;     // of the per-trial tables
};

// For a grid with `points` paired points (N): 2N - 1 trials.
FastScanExtents fastScanExtentsForGrid(std::int64_t points);

struct FastScanBuffers {
    std::span<ExtendedComplex> transform;
    std::span<ExtendedComplex> twiddles;
    std::span<double> radius;             // per trial: the half-width of the interval around its sum
    std::span<std::int32_t> exactTrials;  // the trials summed pair by pair, counted from 1
};

struct FastScanOutcome {
    bool used = false;               // false: the grid is outside the fast path's range, nothing written
    std::int32_t exactTrials = 0;    // trials summed pair by pair
    std::int64_t exactPairs = 0;     // the pairs of those trials
    std::int64_t pairs = 0;          // the pairs of all trials
    std::int32_t minimumCandidates = 0;
};

// The sums and pair counts of the 2N - 1 trials of an even grid whose pairs are
// exactly the symmetric ones: magnitudes g_m(1..N), halfCount K = N / 2.
// Writes sums[0..2N-2] and pairCounts[0..2N-2]. Declines (used = false) when
// the magnitudes are so large or so spread that the bound cannot hold.
// `threads` at most 2; the exact sums are shared between them.
FastScanOutcome fastSymmetricSums(std::span<const double> magnitudes, std::int32_t halfCount,
                                  std::span<double> sums, std::span<std::int32_t> pairCounts,
                                  const FastScanBuffers& buffers, int threads);

// The estimates alone: sums[i] and radius[i] such that the exact sequential
// sum of trial i + 1 lies in [sums[i] - radius[i], sums[i] + radius[i]].
// Returns false when it declines. The first step of fastSymmetricSums.
bool estimateSymmetricSums(std::span<const double> magnitudes, std::span<double> sums,
                           const FastScanBuffers& buffers);

// The exact sequential sums (as the exact scan forms them) of the listed
// trials (counted from 1, increasing), written to sums[trial - 1].
void exactSymmetricSums(std::span<const double> magnitudes, std::span<const std::int32_t> trials,
                        std::span<double> sums);

}  // namespace kvw::analysis
