#include "analysis/symmetry_scan.h"

#include <cmath>
#include <stdexcept>

#include "linalg/extended.h"
#include "textio/format.h"
#include "textio/io_failure.h"
#include "textio/output.h"

namespace kvw::analysis {

using linalg::Extended;
using linalg::store;

double addSquaredDifference(double sum, double a, double b) {
    const Extended difference = static_cast<Extended>(a) - b;
    return store(sum + difference * difference);
}

SymmetryScan computeSymmetry(const Table& gridTimes, const Table& gridMagnitudes, std::int32_t intervals,
                             double step, std::int32_t halfCount, Table trialTimes, Table sums) {
    const auto points = static_cast<std::size_t>(intervals);
    if (intervals < 1 || gridTimes.size() < points || gridMagnitudes.size() < points || halfCount < 1) {
        throw std::invalid_argument("computeSymmetry: the grid is shorter than its interval count");
    }
    const Extended tolerance = kPairTolerance;
    SymmetryScan scan;
    scan.trialCount = 4 * halfCount - 1;
    const auto trials = static_cast<std::size_t>(scan.trialCount);
    trialTimes.resize(trials);
    sums.resize(trials);
    scan.pairCounts.assign(trials, 0);
    for (std::size_t i = 1; i <= trials; ++i) {
        const double trial = store(gridTimes[0] + (0.5L * static_cast<Extended>(i)) * step);
        double sum = 0;
        std::int32_t pairs = 0;
        for (std::size_t p = 0; p < points; ++p) {
            if (!(trial > gridTimes[p])) {
                continue;
            }
            const Extended distanceP = std::fabs(gridTimes[p] - static_cast<Extended>(trial));
            for (std::size_t q = p + 1; q < points; ++q) {
                const Extended distanceQ = std::fabs(gridTimes[q] - static_cast<Extended>(trial));
                if (std::fabs(distanceQ - distanceP) < tolerance) {
                    sum = addSquaredDifference(sum, gridMagnitudes[p], gridMagnitudes[q]);
                    ++pairs;
                }
            }
        }
        trialTimes[i - 1] = trial;
        sums[i - 1] = sum;
        scan.pairCounts[i - 1] = pairs;
    }
    scan.trialTimes = std::move(trialTimes);
    scan.sums = std::move(sums);
    return scan;
}

SymmetryScan scanSymmetry(const ResampledCurve& curve, Table trialTimes, Table sums) {
    static const textio::Format summaryRecord("(2I5,1X,F14.8)");
    textio::OutputConnection& summary = textio::openConnection(textio::kFileUnit, "KWEESUM.DAT", "UNKNOWN");
    SymmetryScan scan = computeSymmetry(curve.gridTimes, curve.gridMagnitudes, curve.intervals, curve.step,
                                        curve.halfCount, std::move(trialTimes), std::move(sums));
    for (std::int32_t i = 1; i <= scan.trialCount; ++i) {
        const auto index = static_cast<std::size_t>(i - 1);
        textio::writeFormatted(summary, summaryRecord, {i, scan.pairCounts[index], scan.sums[index]});
    }
    return scan;
}

}  // namespace kvw::analysis
