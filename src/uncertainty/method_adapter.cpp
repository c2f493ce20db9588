#include "uncertainty/method_adapter.h"

#include "analysis/eclipse_timing.h"
#include "analysis/working_storage.h"

namespace kvw::uncertainty {

namespace {

analysis::EclipseTiming timeInStorage(const LightCurve& curve, analysis::WorkingStorage& storage) {
    analysis::reserveWorkingStorage(storage, curve.times.size());
    return analysis::timeEclipse(curve.times, curve.magnitudes, storage);
}

}  // namespace

MethodResult timeLightCurve(const LightCurve& curve) {
    analysis::WorkingStorage storage;
    return methodResultOf(timeInStorage(curve, storage));
}

MethodResult methodResultOf(const analysis::EclipseTiming& timing) {
    const analysis::ResampledCurve& grid = timing.curve;
    const analysis::MinimumFit& fit = timing.fit;

    MethodResult result;
    result.improper = fit.improper;
    result.minimumTime = fit.minimumTime;
    result.classicError = fit.error;
    result.meanValue = fit.meanValue;
    result.a = fit.a;
    result.b = fit.b;
    result.c = fit.c;
    result.dayOffset = grid.dayOffset;
    result.branchPoints = grid.branchPoints;
    result.halfCount = grid.halfCount;
    result.smallestTrial = fit.smallestTrial;
    result.step = grid.step;
    result.gridTimes.assign(grid.gridTimes.begin(), grid.gridTimes.end());
    result.gridMagnitudes.assign(grid.gridMagnitudes.begin(), grid.gridMagnitudes.end());
    result.trialTimes.assign(timing.scan.trialTimes.begin(), timing.scan.trialTimes.end());
    result.sums.assign(timing.scan.sums.begin(), timing.scan.sums.end());
    result.pairCounts.assign(timing.scan.pairCounts.begin(), timing.scan.pairCounts.end());
    return result;
}

std::optional<double> minimumTimeOf(const LightCurve& curve) {
    // Replicas of one window come one after another: their tables are reused.
    thread_local analysis::WorkingStorage storage;
    storage.scan.threads = 1;  // replicas are re-timed inside the workers of many eclipses
    storage.scan.rounding = analysis::SumRounding::plain;  // no digit of a replica's sums is printed
    try {
        const analysis::EclipseTiming timing = timeInStorage(curve, storage);
        if (timing.fit.improper) {
            return std::nullopt;
        }
        return timing.fit.minimumTime;
    } catch (const analysis::UnusableCurve&) {
        return std::nullopt;  // a replica whose window cannot be resampled is lost, not fatal
    }
}

}  // namespace kvw::uncertainty
