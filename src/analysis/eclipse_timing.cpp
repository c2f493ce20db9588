#include "analysis/eclipse_timing.h"

#include <utility>

namespace kvw::analysis {

EclipseTiming::EclipseTiming(const ResampledCurve& curve, const SymmetryScan& scan, const MinimumFit& fit)
    : curve(curve), scan(scan), fit(fit) {
    copyTablesFromViews();
    pointViewsIntoTables();
}

EclipseTiming::EclipseTiming(const EclipseTiming& other) : EclipseTiming(other.curve, other.scan, other.fit) {}

EclipseTiming::EclipseTiming(EclipseTiming&& other) noexcept
    : curve(std::move(other.curve)), scan(other.scan), fit(other.fit), tables_(std::move(other.tables_)) {
    pointViewsIntoTables();
}

EclipseTiming& EclipseTiming::operator=(const EclipseTiming& other) {
    if (this != &other) {
        *this = EclipseTiming(other);
    }
    return *this;
}

EclipseTiming& EclipseTiming::operator=(EclipseTiming&& other) noexcept {
    curve = std::move(other.curve);
    scan = other.scan;
    fit = other.fit;
    tables_ = std::move(other.tables_);
    pointViewsIntoTables();
    return *this;
}

void EclipseTiming::copyTablesFromViews() {
    tables_.gridTimes.assign(curve.gridTimes.begin(), curve.gridTimes.end());
    tables_.gridMagnitudes.assign(curve.gridMagnitudes.begin(), curve.gridMagnitudes.end());
    tables_.segments.assign(curve.segments.begin(), curve.segments.end());
    tables_.trialTimes.assign(scan.trialTimes.begin(), scan.trialTimes.end());
    tables_.sums.assign(scan.sums.begin(), scan.sums.end());
    tables_.pairCounts.assign(scan.pairCounts.begin(), scan.pairCounts.end());
}

void EclipseTiming::pointViewsIntoTables() {
    curve.gridTimes = tables_.gridTimes;
    curve.gridMagnitudes = tables_.gridMagnitudes;
    curve.segments = tables_.segments;
    scan.trialTimes = tables_.trialTimes;
    scan.sums = tables_.sums;
    scan.pairCounts = tables_.pairCounts;
}

EclipseTiming timeEclipse(std::span<const double> times, std::span<const double> magnitudes,
                          WorkingStorage& storage, const ScanSettings& settings) {
    const ResampledCurve curve = selectBranchAndResample(times, magnitudes, storage.resampling);
    if (!curve.usable()) {
        return EclipseTiming(curve, {}, {});
    }
    const SymmetryScan scan = computeSymmetry(curve, storage.scan, settings);
    return EclipseTiming(curve, scan, fitMinimum(scan, curve.halfCount, curve.branchPoints, curve.dayOffset));
}

EclipseTiming timeEclipse(std::span<const double> times, std::span<const double> magnitudes) {
    WorkingStorage storage;
    reserveWorkingStorage(storage, times.size());
    return timeEclipse(times, magnitudes, storage);
}

std::vector<double> absoluteTimes(std::span<const double> daysAfterOffset, std::int32_t dayOffset) {
    const double offset = dayOffset;
    std::vector<double> absolute;
    absolute.reserve(daysAfterOffset.size());
    for (const double t : daysAfterOffset) {
        absolute.push_back(t + offset);
    }
    return absolute;
}

}  // namespace kvw::analysis
