#include "analysis/fast_scan.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <system_error>
#include <thread>

#include "analysis/minimum.h"
#include "analysis/symmetric_pairs.h"
#include "analysis/symmetry_scan.h"
#include "base/precondition.h"
#include "detail/fast_scan_plan.h"
#include "linalg/extended.h"

namespace kvw::analysis {

using linalg::Extended;
using linalg::store;

namespace {

// Trials with this many pairs or fewer are always summed exactly: it costs
// next to nothing.
constexpr std::int64_t kAlwaysExactPairs = 16;

// Magnitudes whose spread about the mean squares to this much or more are left
// to the exact scan (the sums could overflow a double).
const Extended kLargestSquareNorm = 0x1p900L;

const Extended kUnit = 0x1p-64L;  // the unit roundoff of the extended format

// A running sum in extended precision that keeps the rounding error of each
// addition (Knuth's two-sum) in a second running sum: the pair holds the exact
// sum of the terms within a few units of 2^-128 of their total.
struct CompensatedSum {
    Extended high = 0;
    Extended low = 0;
    void add(Extended term) {
        const Extended sum = high + term;
        const Extended back = sum - term;
        const Extended error = (high - back) + (term - (sum - back));
        high = sum;
        low += error;
    }
};

// Half a unit in the last place of the double nearest `value` (>= 0), at least
// the half-unit of the subnormal doubles.
Extended halfUnitInLastPlace(Extended value) {
    if (value < 0x1p-1022L) {
        return 0x1p-1075L;
    }
    int exponent = 0;
    (void)std::frexp(value, &exponent);  // value in [2^(exponent-1), 2^exponent)
    return std::ldexp(1.0L, exponent - 54);
}

// The F14.8 field shows a sum as a whole number k of units of 1e-8: k is the
// 23-digit decimal value times 1e8, rounded half away from zero, and from
// 10^13 on (99999.999999995) the field is asterisks. Every value of [low, high]
// shows the same field when both ends give the same k; the slack covers the
// 23-digit rounding and the rounding of this computation.
Extended printedUnits(Extended value) {
    const Extended units = std::floor(value * 1.0e8L + 0.5L);
    return std::min(units, 1.0e13L);
}
bool printsAlike(Extended low, Extended high) {
    const Extended slack = 0x1p-50L;
    return printedUnits(std::max(low, Extended{0}) * (1 - slack)) == printedUnits(high * (1 + slack));
}

bool buffersFit(const FastScanBuffers& buffers, std::size_t points, std::size_t sumsSize) {
    const FastScanExtents need = fastScanExtentsForGrid(static_cast<std::int64_t>(points));
    return buffers.transform.size() >= need.transform && buffers.twiddles.size() >= need.twiddles &&
           buffers.radius.size() >= need.trials && buffers.exactTrials.size() >= need.trials &&
           sumsSize >= need.trials;
}

// The exact sums of a run of listed trials, a block at a time: the outer loop
// goes through a, the inner one through the trials that pair a, so each sum
// still takes its pairs in increasing order of a while the additions of one
// step belong to different sums.
void exactSumsOfList(const double* magnitudes, std::int64_t points, const std::int32_t* trials, std::size_t count,
                     double* sums) {
    constexpr std::size_t kBlock = 1024;
    double block[kBlock];
    for (std::size_t begin = 0; begin < count; begin += kBlock) {
        const std::size_t size = std::min(kBlock, count - begin);
        const std::int32_t* listed = trials + begin;
        std::fill(block, block + size, 0.0);
        const bool contiguous = listed[size - 1] - listed[0] == static_cast<std::int32_t>(size - 1);
        const std::int64_t aFirst = symmetricPairsOf(listed[0], points).first;
        const std::int64_t aLast = symmetricPairsOf(listed[size - 1], points).last;
        std::size_t low = 0;   // first listed trial that pairs a
        std::size_t high = 0;  // past the last
        for (std::int64_t a = aFirst; a <= aLast; ++a) {
            const IndexRange pairing = trialsPairing(a, points);
            while (low < size && listed[low] < pairing.first) {
                ++low;
            }
            while (high < size && listed[high] <= pairing.last) {
                ++high;
            }
            if (low >= high) {
                continue;
            }
            const double ma = magnitudes[a];
            if (contiguous) {
                const double* partner = magnitudes + (listed[low] - a);
                for (std::size_t j = low; j < high; ++j) {
                    block[j] = addSquaredDifference(block[j], ma, partner[j - low]);
                }
            } else {
                for (std::size_t j = low; j < high; ++j) {
                    block[j] = addSquaredDifference(block[j], ma, magnitudes[listed[j] - a]);
                }
            }
        }
        for (std::size_t j = 0; j < size; ++j) {
            sums[listed[j] - 1] = block[j];
        }
    }
}

}  // namespace

FastScanExtents fastScanExtentsForGrid(std::int64_t points) {
    FastScanExtents extents;
    const auto paired = static_cast<std::size_t>(std::max<std::int64_t>(points, 1));
    extents.trials = 2 * paired - 1;
    extents.transform = powerOfTwoAtLeast(2 * paired - 1);
    extents.twiddles = twiddleCount(extents.transform);
    return extents;
}

namespace {

// x = g_m - centre in the first `points` entries of the transform, zeros after
// them; the centre is the mean, so that the convolution's error, which grows
// with ||x||, stays small (the pairs' differences do not depend on it). Returns
// a bound on ||x||^2, or nothing when the centre or the norm is too large for
// the bound to hold.
std::optional<Extended> centreIntoTransform(std::span<const double> magnitudes, std::span<ExtendedComplex> transform,
                                            double& centre) {
    Extended total = 0;
    for (const double m : magnitudes) {
        total += m;
    }
    centre = store(total / static_cast<Extended>(magnitudes.size()));
    if (!std::isfinite(centre)) {
        return std::nullopt;
    }
    CompensatedSum squareNorm;
    for (std::size_t a = 0; a < transform.size(); ++a) {
        const Extended x = a < magnitudes.size() ? magnitudes[a] - static_cast<Extended>(centre) : 0;
        transform[a] = {x, 0};
        squareNorm.add(x * x);
    }
    const Extended norm2 = (squareNorm.high + squareNorm.low) * (1 + 0x1p-60L);
    if (!(norm2 < kLargestSquareNorm)) {
        return std::nullopt;
    }
    return norm2;
}

// The self-convolution c(i) = sum over a + b = i of x_a x_b, in place and
// unscaled (times the transform's size).
void selfConvolve(std::span<ExtendedComplex> transform, std::span<ExtendedComplex> twiddles) {
    fillTwiddles(twiddles, transform.size());
    fft(transform, twiddles, false);
    for (ExtendedComplex& z : transform) {
        z = {z.re * z.re - z.im * z.im, 2 * (z.re * z.im)};
    }
    fft(transform, twiddles, true);
}

// Distance of each computed sum from the exact sum of its squared
// differences, the same for every trial: the convolution's error (the forward
// transform normwise, the squaring, the inverse componentwise), and a few
// units of 2^-64 of ||x||^2 for the centring, the sums of squares and the
// final subtraction.
Extended sharedErrorBound(Extended norm2, std::size_t size) {
    const FftErrorBound fftBound = fftErrorBound(size);
    const Extended gamma = 1.41422L * (2 * kUnit) / (1 - 2 * kUnit);  // sqrt(2) gamma_2: a complex product
    const Extended delta = fftBound.normwise;
    const Extended convolution = gamma * (1 + delta) * (1 + delta) + delta * (2 + delta) +
                                 fftBound.componentwise * (1 + delta) * (1 + delta) * (1 + gamma);
    return norm2 * (convolution + 0x1p-58L) * (1 + 0x1p-20L);
}

// The exact scan's sum adds L terms (a - b)^2, each squared with a relative
// error of at most 2^-62, to a running double that never decreases and never
// exceeds the final sum: each step rounds by at most 2^-64 of the running
// value (extended) and half a unit in the last place of the final sum
// (double). The bound on how far that sequential sum strays from the exact
// one, for a sum of at most `upper`.
Extended sequentialRoundingBound(Extended upper, std::int64_t pairs) {
    const auto count = static_cast<Extended>(pairs);
    const Extended finalUpper = (upper * (1 + 0x1p-60L) + count * 0x1p-1074L) * (1 + count * 0x1p-51L);
    return count * (halfUnitInLastPlace(finalUpper) + kUnit * finalUpper) + 0x1p-61L * upper;
}

// The sums of x_a^2 over the points that take part in each trial i: a from
// max(0, i - N + 1) to min(i, N - 1); a running sum up to i while i < N, then
// the total less a running sum up to i - N. Called for i = 1, 2, ... in turn.
class SquaresOfTrials {
public:
    SquaresOfTrials(std::span<const double> magnitudes, double centre) : magnitudes_(magnitudes), centre_(centre) {
        for (std::size_t a = 0; a < magnitudes.size(); ++a) {
            const Extended x = centred(a);
            everyone_.add(x * x);
        }
        upTo_.add(centred(0) * centred(0));
    }
    Extended next(std::int64_t trial) {
        const auto n = static_cast<std::int64_t>(magnitudes_.size());
        if (trial < n) {
            const Extended x = centred(static_cast<std::size_t>(trial));
            upTo_.add(x * x);
            return upTo_.high + upTo_.low;
        }
        const Extended x = centred(static_cast<std::size_t>(trial - n));
        before_.add(x * x);
        return (everyone_.high - before_.high) + (everyone_.low - before_.low);
    }

private:
    Extended centred(std::size_t a) const { return magnitudes_[a] - static_cast<Extended>(centre_); }

    std::span<const double> magnitudes_;
    double centre_;
    CompensatedSum upTo_;      // sum of x_a^2, a <= i
    CompensatedSum before_;    // sum of x_a^2, a <= i - N
    CompensatedSum everyone_;  // sum of x_a^2 over all N points
};

}  // namespace

bool estimateSymmetricSums(std::span<const double> magnitudes, std::span<double> sums,
                           const FastScanBuffers& buffers) {
    const std::size_t points = magnitudes.size();
    if (points < 2) {
        return false;
    }
    require(buffersFit(buffers, points, sums.size()), "buffers as large as fastScanExtentsForGrid says");
    const std::size_t size = fastScanExtentsForGrid(static_cast<std::int64_t>(points)).transform;
    const std::span<ExtendedComplex> transform = buffers.transform.first(size);
    double centre = 0;
    const std::optional<Extended> norm2 = centreIntoTransform(magnitudes, transform, centre);
    if (!norm2) {
        return false;
    }
    selfConvolve(transform, buffers.twiddles);
    const Extended scale = 1.0L / static_cast<Extended>(size);  // exact
    const Extended sharedError = sharedErrorBound(*norm2, size);

    SquaresOfTrials squaresOf(magnitudes, centre);
    const auto n = static_cast<std::int64_t>(points);
    for (std::int64_t i = 1; i <= 2 * n - 1; ++i) {
        const Extended squares = squaresOf.next(i);
        const std::int64_t pairs = symmetricPairsOf(i, n).count();
        const auto index = static_cast<std::size_t>(i - 1);
        if (pairs == 0) {
            sums[index] = 0;
            buffers.radius[index] = 0;
            continue;
        }
        const Extended estimate = squares - transform[static_cast<std::size_t>(i)].re * scale;
        const Extended upper = std::max(estimate + sharedError, Extended{0});
        const double value = estimate > 0 ? store(estimate) : 0.0;
        const Extended radius = sharedError + sequentialRoundingBound(upper, pairs) + std::fabs(estimate - value);
        sums[index] = value;
        buffers.radius[index] = store(radius * (1 + 0x1p-50L));
    }
    return true;
}

void exactSymmetricSums(std::span<const double> magnitudes, std::span<const std::int32_t> trials,
                        std::span<double> sums) {
    if (!trials.empty()) {
        exactSumsOfList(magnitudes.data(), static_cast<std::int64_t>(magnitudes.size()), trials.data(),
                        trials.size(), sums.data());
    }
}

namespace {

// The interval around each estimated sum that holds the exact sequential sum.
struct SumIntervals {
    std::span<const double> sums;
    std::span<const double> radius;
    Extended low(std::int64_t trial) const {
        const auto k = static_cast<std::size_t>(trial - 1);
        return static_cast<Extended>(sums[k]) - radius[k];
    }
    Extended high(std::int64_t trial) const {
        const auto k = static_cast<std::size_t>(trial - 1);
        return (static_cast<Extended>(sums[k]) + radius[k]) * (1 + 0x1p-62L);
    }
};

// A trial whose interval starts above the smallest upper end among trials
// K..3K cannot hold the smallest sum there, nor tie with it. The others are
// the candidates, listed in `list`; returns how many.
std::size_t listMinimumCandidates(const SumIntervals& intervals, std::int32_t halfCount,
                                  std::span<std::int32_t> list) {
    const TrialRange searched = searchedTrials(halfCount);
    Extended smallestHigh = intervals.high(searched.first);
    for (std::int64_t i = searched.first; i <= searched.last; ++i) {
        smallestHigh = std::min(smallestHigh, intervals.high(i));
    }
    const Extended candidateLimit = smallestHigh * (1 + 0x1p-60L) + 0x1p-1070L;
    std::size_t candidates = 0;
    for (std::int64_t i = searched.first; i <= searched.last; ++i) {
        if (intervals.low(i) <= candidateLimit) {
            list[candidates++] = static_cast<std::int32_t>(i);
        }
    }
    return candidates;
}

}  // namespace

FastScanOutcome planSymmetricSums(std::span<const double> magnitudes, std::int32_t halfCount,
                                  std::span<double> sums, std::span<std::int32_t> pairCounts,
                                  const FastScanBuffers& buffers) {
    FastScanOutcome outcome;
    const auto n = static_cast<std::int64_t>(magnitudes.size());
    const std::int64_t trials = 2 * n - 1;
    require(halfCount >= 1 && n == 2 * static_cast<std::int64_t>(halfCount), "N = 2K paired points");
    require(pairCounts.size() >= static_cast<std::size_t>(trials), "a pair count for each of the 2N - 1 trials");
    if (!estimateSymmetricSums(magnitudes, sums, buffers)) {
        return outcome;
    }
    outcome.used = true;
    const SumIntervals intervals{sums, buffers.radius};
    // The candidates and their neighbours (the parabola's trials) are summed
    // exactly; the list buffer holds the candidates for a moment.
    const std::size_t candidates = listMinimumCandidates(intervals, halfCount, buffers.exactTrials);
    outcome.minimumCandidates = static_cast<std::int32_t>(candidates);

    // A negative radius marks a trial to be summed exactly: the candidates and
    // their neighbours, the trials of very few pairs, and every trial whose
    // interval holds values that print differently.
    auto mark = [&](std::int64_t i) {
        if (i >= 1 && i <= trials) {
            buffers.radius[static_cast<std::size_t>(i - 1)] = -1;
        }
    };
    for (std::int64_t i = 1; i <= trials; ++i) {
        const std::int64_t pairs = symmetricPairsOf(i, n).count();
        pairCounts[static_cast<std::size_t>(i - 1)] = static_cast<std::int32_t>(pairs);
        outcome.pairs += pairs;
        if (pairs > 0 && (pairs <= kAlwaysExactPairs || !printsAlike(intervals.low(i), intervals.high(i)))) {
            mark(i);
        }
    }
    for (std::size_t c = 0; c < candidates; ++c) {
        const std::int64_t i = buffers.exactTrials[c];
        mark(i - 1);
        mark(i);
        mark(i + 1);
    }
    std::size_t listed = 0;
    for (std::int64_t i = 1; i <= trials; ++i) {
        if (buffers.radius[static_cast<std::size_t>(i - 1)] < 0) {
            buffers.exactTrials[listed++] = static_cast<std::int32_t>(i);
            outcome.exactPairs += symmetricPairsOf(i, n).count();
        }
    }
    outcome.exactTrials = static_cast<std::int32_t>(listed);
    return outcome;
}

FastScanOutcome fastSymmetricSums(std::span<const double> magnitudes, std::int32_t halfCount,
                                  std::span<double> sums, std::span<std::int32_t> pairCounts,
                                  const FastScanBuffers& buffers, int threads) {
    const FastScanOutcome outcome = planSymmetricSums(magnitudes, halfCount, sums, pairCounts, buffers);
    if (!outcome.used) {
        return outcome;
    }
    const auto n = static_cast<std::int64_t>(magnitudes.size());
    const auto listed = static_cast<std::size_t>(outcome.exactTrials);
    // Two shares of about equal pairs, the second on its own thread when one
    // can be started.
    const std::span<const std::int32_t> list(buffers.exactTrials.data(), listed);
    std::size_t split = listed;
    if (threads > 1) {
        std::int64_t firstShare = 0;
        split = 0;
        while (split < listed && 2 * firstShare < outcome.exactPairs) {
            firstShare += symmetricPairsOf(list[split], n).count();
            ++split;
        }
    }
    const std::span<const std::int32_t> first = list.first(split);
    const std::span<const std::int32_t> second = list.subspan(split);
    std::thread helper;
    if (!second.empty()) {
        try {
            helper = std::thread([&] { exactSymmetricSums(magnitudes, second, sums); });
        } catch (const std::system_error&) {
            exactSymmetricSums(magnitudes, second, sums);  // no second thread: one goes on alone
        }
    }
    exactSymmetricSums(magnitudes, first, sums);
    if (helper.joinable()) {
        helper.join();
    }
    return outcome;
}

}  // namespace kvw::analysis
