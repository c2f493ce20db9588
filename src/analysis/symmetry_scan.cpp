#include "analysis/symmetry_scan.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <system_error>
#include <thread>

#include "analysis/pair_sums.h"
#include "analysis/symmetric_pairs.h"
#include "base/precondition.h"
#include "linalg/extended.h"

namespace kvw::analysis {

using linalg::Extended;
using linalg::store;

namespace {

// Entries of the grid and trial tables are counted from 0 here: grid point p
// of the method is index p - 1, trial i is index i - 1.

const Extended kTolerance = kPairTolerance;

// |g_t(q) - X| - |g_t(p) - X| is compared with the tolerance: the pair test.
inline Extended distance(double gridTime, double trial) {
    return std::fabs(gridTime - static_cast<Extended>(trial));
}
inline Extended asymmetry(double gridTime, Extended otherDistance, double trial) {
    return distance(gridTime, trial) - otherDistance;
}

struct ScanTables {
    std::span<const double> gridTimes;
    std::span<const double> gridMagnitudes;
    std::size_t points;  // N: the pairs are formed among the first N grid points
    std::span<double> trialTimes;
    std::span<double> sums;
    std::span<std::int32_t> pairCounts;
};

// The resampling's grid is finite and runs one way: each time is the window
// start plus a multiple of one step, rounded, and rounding keeps the order.
bool finiteAndMonotone(const ScanTables& scan) {
    bool rising = true;
    bool falling = true;
    for (std::size_t p = 0; p < scan.points; ++p) {
        if (!std::isfinite(scan.gridTimes[p])) {
            return false;
        }
        if (p > 0) {
            rising = rising && scan.gridTimes[p - 1] <= scan.gridTimes[p];
            falling = falling && scan.gridTimes[p - 1] >= scan.gridTimes[p];
        }
    }
    return rising || falling;
}

// A bound, in days, on how far the grid and trial times stray from an exact
// arithmetic progression g_t(1) + (j - 1) h and g_t(1) + (i / 2) h, plus the
// rounding of the pair test itself. Each deviation is computed in extended
// precision from the stored values; the rounding of that computation is
// bounded by a few units of 2^-64 of the magnitudes involved.
Extended progressionErrorBound(const ScanTables& scan, double step) {
    const double first = scan.gridTimes[0];
    const Extended unit = std::ldexp(1.0L, -62);
    auto deviation = [&](double value, Extended offset) {
        const Extended fromFirst = value - static_cast<Extended>(first);
        const Extended expected = offset * step;
        const Extended difference = fromFirst - expected;
        return std::fabs(difference) * 1.01L + unit * (std::fabs(fromFirst) + std::fabs(expected));
    };
    Extended gridError = 0;
    Extended span = 0;
    for (std::size_t p = 0; p < scan.points; ++p) {
        gridError = std::max(gridError, deviation(scan.gridTimes[p], static_cast<Extended>(p)));
        span = std::max(span, std::fabs(scan.gridTimes[p] - static_cast<Extended>(first)));
    }
    Extended trialError = 0;
    for (std::size_t i = 0; i < scan.trialTimes.size(); ++i) {
        trialError = std::max(trialError, deviation(scan.trialTimes[i], 0.5L * static_cast<Extended>(i + 1)));
        span = std::max(span, std::fabs(scan.trialTimes[i] - static_cast<Extended>(first)));
    }
    // A pair's asymmetry strays by at most twice each deviation; the test's own
    // three roundings add at most a few units of the distances (at most 2 spans).
    return 2 * (gridError + trialError) + 4 * unit * span;
}

// When the grid is even to well within the tolerance and half a step exceeds
// the tolerance by more than the error bound, the pairs that pass the test are
// exactly the symmetric ones (symmetric_pairs.h), and none when the grid runs
// backwards, since every q after p is then farther from the trial.
bool onlySymmetricPairsPass(const ScanTables& scan, double step) {
    if (!std::isfinite(step) || step == 0) {
        return false;
    }
    for (std::size_t i = 0; i < scan.trialTimes.size(); ++i) {
        if (!std::isfinite(scan.trialTimes[i])) {
            return false;
        }
    }
    const Extended bound = progressionErrorBound(scan, step);
    const Extended halfStep = std::fabs(static_cast<Extended>(step)) / 2;
    return 2 * bound < kTolerance && halfStep > kTolerance + 2 * bound;
}

// Each trial's sum takes its pairs in increasing order of their first point a.
// Going through a in the outer loop and the trials that pair a in the inner one
// keeps that order while the inner additions belong to different sums: they do
// not wait on each other, and the kernel takes several at a time (pair_sums.h).
// Blocks of trials keep their sums in the first-level cache.
constexpr std::int64_t kTrialBlock = 1024;

void scanTrialBlock(const ScanTables& scan, PairRowKernel addRow, std::int64_t first) {
    const auto points = static_cast<std::int64_t>(scan.points);
    const double* magnitudes = scan.gridMagnitudes.data();  // g_m: the grid's magnitudes
    const std::int64_t last = std::min(static_cast<std::int64_t>(scan.sums.size()), first + kTrialBlock - 1);
    const std::int64_t aLast = symmetricPairsOf(last, points).last;
    for (std::int64_t a = symmetricPairsOf(first, points).first; a <= aLast; ++a) {
        const IndexRange pairing = trialsPairing(a, points);
        const std::int64_t from = std::max(first, pairing.first);
        const std::int64_t to = std::min(last, pairing.last);
        if (from <= to) {
            // g_m of a, and of its partner in trial `from` on.
            addRow(magnitudes[a], magnitudes + (from - a), scan.sums.data() + (from - 1),
                   static_cast<std::size_t>(to - from + 1));
        }
    }
}

// Grids of this many paired points or more are scanned on two threads when
// the settings allow it: one takes blocks of trials from the first on, the
// other from the last back, until every block is taken. (Taken alternately,
// adjacent blocks would share the cache line at their boundary between the
// cores.)
constexpr std::size_t kTwoThreadPoints = 4096;

void scanSymmetricPairs(const ScanTables& scan, const ScanSettings& settings) {
    const auto trials = static_cast<std::int64_t>(scan.sums.size());
    std::fill(scan.sums.begin(), scan.sums.end(), 0.0);
    const PairRowKernel addRow = pairRowKernel(scan.gridMagnitudes.first(scan.points), settings.rounding);
    const std::int64_t blocks = (trials + kTrialBlock - 1) / kTrialBlock;
    std::atomic<std::int64_t> taken{0};
    auto work = [&](bool fromTheLast) {
        for (std::int64_t k = 0; taken++ < blocks; ++k) {
            scanTrialBlock(scan, addRow, 1 + (fromTheLast ? blocks - 1 - k : k) * kTrialBlock);
        }
    };
    std::thread helper;
    if (settings.threads > 1 && scan.points >= kTwoThreadPoints) {
        try {
            helper = std::thread(work, true);
        } catch (const std::system_error&) {
            // no second thread: this one does the work alone
        }
    }
    work(false);
    if (helper.joinable()) {
        helper.join();
    }
    const auto points = static_cast<std::int64_t>(scan.points);
    for (std::int64_t trial = 1; trial <= trials; ++trial) {
        scan.pairCounts[static_cast<std::size_t>(trial - 1)] =
            static_cast<std::int32_t>(symmetricPairsOf(trial, points).count());
    }
}

// On a monotone grid the signed distance g_t(q) - X is monotone in q, so its
// magnitude falls and then rises; within each of the two stretches the pair
// test's difference is monotone too, and the q that pass form one range in
// each, found by binary search.
class MonotoneScan {
public:
    explicit MonotoneScan(const ScanTables& scan)
        : scan_(scan), rising_(scan.points < 2 || scan.gridTimes[0] <= scan.gridTimes[scan.points - 1]) {}

    void run() {
        for (std::size_t i = 0; i < scan_.sums.size(); ++i) {
            scanTrial(i);
        }
    }

private:
    // The first index in [from, to) for which `holds` is true, given that it is
    // false and then true over the range.
    template <typename Predicate>
    static std::size_t firstWhere(std::size_t from, std::size_t to, Predicate holds) {
        while (from < to) {
            const std::size_t middle = from + (to - from) / 2;
            if (holds(middle)) {
                to = middle;
            } else {
                from = middle + 1;
            }
        }
        return from;
    }

    void scanTrial(std::size_t i) {
        const double trial = scan_.trialTimes[i];
        const std::span<const double> times = scan_.gridTimes;
        const std::size_t n = scan_.points;
        // The grid points before the trial: a prefix of a rising grid, a suffix of a falling one.
        std::size_t pBegin = 0;
        std::size_t pEnd = n;
        if (rising_) {
            pEnd = firstWhere(0, n, [&](std::size_t p) { return !(trial > times[p]); });
        } else {
            pBegin = firstWhere(0, n, [&](std::size_t p) { return trial > times[p]; });
        }
        // The grid points past the trial (distance rising again from there on).
        const std::size_t turn = rising_ ? firstWhere(0, n, [&](std::size_t q) { return times[q] > trial; })
                                         : firstWhere(0, n, [&](std::size_t q) { return times[q] < trial; });
        double sum = 0;
        std::int32_t pairs = 0;
        for (std::size_t p = pBegin; p < pEnd; ++p) {
            const Extended distanceP = distance(times[p], trial);
            auto difference = [&](std::size_t q) { return asymmetry(times[q], distanceP, trial); };
            const std::size_t fallingBegin = p + 1;
            const std::size_t fallingEnd = std::max(fallingBegin, turn);
            // Falling stretch: the difference falls, so "< tolerance" holds from some q on
            // and "> -tolerance" up to some q.
            const std::size_t fromA = firstWhere(fallingBegin, fallingEnd, [&](std::size_t q) {
                return difference(q) < kTolerance;
            });
            const std::size_t toA = firstWhere(fromA, fallingEnd, [&](std::size_t q) {
                return !(difference(q) > -kTolerance);
            });
            // Rising stretch: the other way round.
            const std::size_t fromB = firstWhere(fallingEnd, n, [&](std::size_t q) {
                return difference(q) > -kTolerance;
            });
            const std::size_t toB = firstWhere(fromB, n, [&](std::size_t q) {
                return !(difference(q) < kTolerance);
            });
            for (std::size_t q = fromA; q < toA; ++q) {
                sum = addSquaredDifference(sum, scan_.gridMagnitudes[p], scan_.gridMagnitudes[q]);
            }
            for (std::size_t q = fromB; q < toB; ++q) {
                sum = addSquaredDifference(sum, scan_.gridMagnitudes[p], scan_.gridMagnitudes[q]);
            }
            pairs += static_cast<std::int32_t>((toA - fromA) + (toB - fromB));
        }
        scan_.sums[i] = sum;
        scan_.pairCounts[i] = pairs;
    }

    const ScanTables& scan_;
    bool rising_;
};

}  // namespace

SymmetryScan computeSymmetry(std::span<const double> gridTimes, std::span<const double> gridMagnitudes,
                             std::int32_t intervals, double step, std::int32_t halfCount, ScanStorage& storage,
                             const ScanSettings& settings) {
    const auto points = static_cast<std::size_t>(intervals);
    require(intervals >= 1 && gridTimes.size() >= points && gridMagnitudes.size() >= points && halfCount >= 1 &&
                4 * static_cast<std::int64_t>(halfCount) - 1 <= INT32_MAX,
            "a grid of N + 1 points and K from 1");
    const auto trials = static_cast<std::size_t>(4 * halfCount - 1);
    require(trials <= storage.sums.capacity(), "the storage is reserved for the series");
    storage.trialTimes.resize(trials);
    storage.sums.resize(trials);
    storage.pairCounts.assign(trials, 0);
    for (std::size_t i = 1; i <= trials; ++i) {
        storage.trialTimes[i - 1] = store(gridTimes[0] + (0.5L * static_cast<Extended>(i)) * step);
    }

    const ScanTables scan{gridTimes, gridMagnitudes, points, storage.trialTimes, storage.sums, storage.pairCounts};
    require(finiteAndMonotone(scan), "a grid made by the resampling: finite and running one way");
    if (onlySymmetricPairsPass(scan, step)) {
        if (step > 0) {
            scanSymmetricPairs(scan, settings);
        } else {
            std::fill(storage.sums.begin(), storage.sums.end(), 0.0);  // a grid running backwards has no pairs
        }
    } else {
        MonotoneScan(scan).run();
    }
    return SymmetryScan{static_cast<std::int32_t>(trials), storage.trialTimes, storage.sums, storage.pairCounts};
}

SymmetryScan computeSymmetry(const ResampledCurve& curve, ScanStorage& storage, const ScanSettings& settings) {
    return computeSymmetry(curve.gridTimes, curve.gridMagnitudes, curve.intervals, curve.step, curve.halfCount,
                           storage, settings);
}

}  // namespace kvw::analysis
