#include "analysis/fast_scan.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "analysis/pair_sums.h"
#include "analysis/symmetry_scan.h"
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

// The pairs of trial i (counted from 1) on N paired points: 0-based a from
// max(0, i + 1 - N) to (i - 1) / 2, paired with b = i - a.
struct PairRange {
    std::int64_t first = 0;
    std::int64_t last = -1;
    std::int64_t count() const { return last >= first ? last - first + 1 : 0; }
};
PairRange pairRange(std::int64_t trial, std::int64_t points) {
    return {std::max<std::int64_t>(0, trial + 1 - points), (trial - 1) / 2};
}

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

[[maybe_unused]] bool buffersFit(const FastScanBuffers& buffers, std::size_t points, std::size_t sumsSize) {
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
    std::size_t runEnd[kBlock];  // past the run of consecutive trials that holds each listed one
    const PairRowKernel addRow =
        pairRowKernel({magnitudes, static_cast<std::size_t>(points)}, SumRounding::exact);
    for (std::size_t begin = 0; begin < count; begin += kBlock) {
        const std::size_t size = std::min(kBlock, count - begin);
        const std::int32_t* listed = trials + begin;
        std::fill(block, block + size, 0.0);
        for (std::size_t j = size; j-- > 0;) {
            runEnd[j] = j + 1 < size && listed[j + 1] == listed[j] + 1 ? runEnd[j + 1] : j + 1;
        }
        const std::int64_t aFirst = pairRange(listed[0], points).first;
        const std::int64_t aLast = pairRange(listed[size - 1], points).last;
        std::size_t low = 0;   // first listed trial that pairs a: trial >= 2a + 1
        std::size_t high = 0;  // past the last: trial <= a + N - 1
        for (std::int64_t a = aFirst; a <= aLast; ++a) {
            while (low < size && listed[low] < 2 * a + 1) {
                ++low;
            }
            while (high < size && listed[high] <= a + points - 1) {
                ++high;
            }
            // Each run of consecutive trials pairs a with consecutive points.
            for (std::size_t j = low; j < high;) {
                const std::size_t end = std::min(runEnd[j], high);
                addRow(magnitudes[a], magnitudes + (listed[j] - a), block + j, end - j);
                j = end;
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

FastScanExtents fastScanExtents(std::int64_t observations) {
    // N = 2K = 2 (nw + 3) with nw <= n + 1: at most 2n + 8 paired points.
    return fastScanExtentsForGrid(2 * std::max<std::int64_t>(observations, 0) + 8);
}

bool estimateSymmetricSums(std::span<const double> magnitudes, std::span<double> sums,
                           const FastScanBuffers& buffers) {
    const std::size_t points = magnitudes.size();
    if (points < 2) {
        return false;
    }
    assert(buffersFit(buffers, points, sums.size()) && "buffers as large as fastScanExtents says");
    const FastScanExtents extents = fastScanExtentsForGrid(static_cast<std::int64_t>(points));
    const std::size_t size = extents.transform;
    const auto n = static_cast<std::int64_t>(points);

    // x = g_m - mean, in extended precision. Any centre would do: the pairs'
    // differences do not change, but the convolution's error shrinks with ||x||.
    Extended total = 0;
    for (const double m : magnitudes) {
        total += m;
    }
    const double centre = store(total / static_cast<Extended>(points));
    if (!std::isfinite(centre)) {
        return false;
    }
    auto centred = [&](std::int64_t a) { return magnitudes[static_cast<std::size_t>(a)] - static_cast<Extended>(centre); };
    CompensatedSum squareNorm;
    std::span<ExtendedComplex> transform = buffers.transform.first(size);
    for (std::size_t a = 0; a < size; ++a) {
        const Extended x = a < points ? centred(static_cast<std::int64_t>(a)) : 0;
        transform[a] = {x, 0};
        squareNorm.add(x * x);
    }
    const Extended norm2 = (squareNorm.high + squareNorm.low) * (1 + 0x1p-60L);
    if (!(norm2 < kLargestSquareNorm)) {
        return false;
    }

    // The self-convolution c(i) = sum over a + b = i of x_a x_b.
    fillTwiddles(buffers.twiddles, size);
    fft(transform, buffers.twiddles, false);
    for (ExtendedComplex& z : transform) {
        z = {z.re * z.re - z.im * z.im, 2 * (z.re * z.im)};
    }
    fft(transform, buffers.twiddles, true);
    const Extended scale = 1.0L / static_cast<Extended>(size);  // exact

    // Distance of each computed sum from the exact sum of its squared
    // differences, the same for every trial: the convolution's error (the
    // forward transform normwise, the squaring, the inverse componentwise), and
    // a few units of 2^-64 of ||x||^2 for the centring, the sums of squares and
    // the final subtraction.
    const FftErrorBound fftBound = fftErrorBound(size);
    const Extended gamma = 1.41422L * (2 * kUnit) / (1 - 2 * kUnit);  // sqrt(2) gamma_2: a complex product
    const Extended delta = fftBound.normwise;
    const Extended convolution = gamma * (1 + delta) * (1 + delta) + delta * (2 + delta) +
                                 fftBound.componentwise * (1 + delta) * (1 + delta) * (1 + gamma);
    const Extended sharedError = norm2 * (convolution + 0x1p-58L) * (1 + 0x1p-20L);

    // The squares of the points that take part in trial i: a from
    // max(0, i - N + 1) to min(i, N - 1); a running sum up to i while i < N,
    // then the total less a running sum up to i - N.
    CompensatedSum upTo;      // sum of x_a^2, a <= i
    CompensatedSum before;    // sum of x_a^2, a <= i - N
    CompensatedSum everyone;  // sum of x_a^2 over all N points
    for (std::int64_t a = 0; a < n; ++a) {
        const Extended x = centred(a);
        everyone.add(x * x);
    }
    upTo.add(centred(0) * centred(0));
    const std::int64_t trials = 2 * n - 1;
    for (std::int64_t i = 1; i <= trials; ++i) {
        Extended squares = 0;
        if (i < n) {
            const Extended x = centred(i);
            upTo.add(x * x);
            squares = upTo.high + upTo.low;
        } else {
            const Extended x = centred(i - n);
            before.add(x * x);
            squares = (everyone.high - before.high) + (everyone.low - before.low);
        }
        const std::int64_t pairs = pairRange(i, n).count();
        const auto index = static_cast<std::size_t>(i - 1);
        if (pairs == 0) {
            sums[index] = 0;
            buffers.radius[index] = 0;
            continue;
        }
        const Extended estimate = squares - transform[static_cast<std::size_t>(i)].re * scale;
        // The exact scan's sum adds L terms (a - b)^2, each squared with a
        // relative error of at most 2^-62, to a running double that never
        // decreases and never exceeds the final sum: each step rounds by at most
        // 2^-64 of the running value (extended) and half a unit in the last
        // place of the final sum (double).
        const Extended upper = std::max(estimate + sharedError, Extended{0});
        const auto count = static_cast<Extended>(pairs);
        const Extended finalUpper = (upper * (1 + 0x1p-60L) + count * 0x1p-1074L) * (1 + count * 0x1p-51L);
        const Extended sequential =
            count * (halfUnitInLastPlace(finalUpper) + kUnit * finalUpper) + 0x1p-61L * upper;
        const double value = estimate > 0 ? store(estimate) : 0.0;
        const Extended radius = sharedError + sequential + std::fabs(estimate - value);
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

FastScanOutcome planSymmetricSums(std::span<const double> magnitudes, std::int32_t halfCount,
                                  std::span<double> sums, std::span<std::int32_t> pairCounts,
                                  const FastScanBuffers& buffers) {
    FastScanOutcome outcome;
    const auto n = static_cast<std::int64_t>(magnitudes.size());
    if (halfCount < 1 || n != 2 * static_cast<std::int64_t>(halfCount)) {
        throw std::invalid_argument("fastSymmetricSums: N must be 2K");
    }
    const std::int64_t trials = 2 * n - 1;
    if (pairCounts.size() < static_cast<std::size_t>(trials)) {
        throw std::invalid_argument("fastSymmetricSums: the pair counts are too short");
    }
    if (!estimateSymmetricSums(magnitudes, sums, buffers)) {
        return outcome;
    }
    outcome.used = true;
    auto low = [&](std::int64_t i) {
        const auto k = static_cast<std::size_t>(i - 1);
        return static_cast<Extended>(sums[k]) - buffers.radius[k];
    };
    auto high = [&](std::int64_t i) {
        const auto k = static_cast<std::size_t>(i - 1);
        return (static_cast<Extended>(sums[k]) + buffers.radius[k]) * (1 + 0x1p-62L);
    };

    // A trial whose interval starts above the smallest upper end among trials
    // K..3K cannot hold the smallest sum there, nor tie with it. The others are
    // the candidates: they, and their neighbours (the parabola's trials), are
    // summed exactly. The list buffer holds them for a moment.
    const std::int64_t firstSearched = halfCount;
    const std::int64_t lastSearched = 3 * static_cast<std::int64_t>(halfCount);
    Extended smallestHigh = high(firstSearched);
    for (std::int64_t i = firstSearched; i <= lastSearched; ++i) {
        smallestHigh = std::min(smallestHigh, high(i));
    }
    const Extended candidateLimit = smallestHigh * (1 + 0x1p-60L) + 0x1p-1070L;
    std::size_t candidates = 0;
    for (std::int64_t i = firstSearched; i <= lastSearched; ++i) {
        if (low(i) <= candidateLimit) {
            buffers.exactTrials[candidates++] = static_cast<std::int32_t>(i);
        }
    }
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
        const std::int64_t pairs = pairRange(i, n).count();
        pairCounts[static_cast<std::size_t>(i - 1)] = static_cast<std::int32_t>(pairs);
        outcome.pairs += pairs;
        if (pairs > 0 && (pairs <= kAlwaysExactPairs || !printsAlike(low(i), high(i)))) {
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
            outcome.exactPairs += pairRange(i, n).count();
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
            firstShare += pairRange(list[split], n).count();
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
