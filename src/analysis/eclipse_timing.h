// The method in memory: times and magnitudes in, the timing of the eclipse
// out, with no file and no console. It runs the phases that the console
// program runs on its file, and keeps their tables: the one result of a timed
// eclipse that the error, the checks, the pictures and the tables read.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/branch.h"
#include "analysis/minimum.h"
#include "analysis/symmetry_scan.h"
#include "analysis/working_storage.h"

namespace kvw::analysis {

// The views of `curve` and `scan` point into tables that the timing owns, so
// that it outlives the working storage it was made in; a copy copies them.
struct EclipseTiming {
    ResampledCurve curve;  // the branch window and the grid; when it is not usable, nothing else is set
    SymmetryScan scan;     // every trial's time, pair count and sum
    MinimumFit fit;        // improper, or the time of minimum, its error and the mean value

    EclipseTiming() = default;
    EclipseTiming(const ResampledCurve& curve, const SymmetryScan& scan, const MinimumFit& fit);
    EclipseTiming(const EclipseTiming& other);
    EclipseTiming(EclipseTiming&& other) noexcept;
    EclipseTiming& operator=(const EclipseTiming& other);
    EclipseTiming& operator=(EclipseTiming&& other) noexcept;
    ~EclipseTiming() = default;

    // The time of minimum was found: a usable curve and a proper minimum.
    bool timed() const { return curve.usable() && !fit.improper; }

private:
    struct Tables {
        std::vector<double> gridTimes;
        std::vector<double> gridMagnitudes;
        std::vector<std::int32_t> segments;
        std::vector<double> trialTimes;
        std::vector<double> sums;
        std::vector<std::int32_t> pairCounts;
    };
    void copyTablesFromViews();
    void pointViewsIntoTables();

    Tables tables_;
};

// Times one eclipse: the branch window, the resampling, the scan and the
// parabola, exactly as the console program does for a file holding the same
// pairs in the same order. At least two observations, with the storage
// reserved for at least as many (reserveWorkingStorage); the settings say how
// many threads may share the sums of a large grid and how they are rounded. A curve that cannot be
// resampled gives a timing whose curve says why.
EclipseTiming timeEclipse(std::span<const double> times, std::span<const double> magnitudes,
                          WorkingStorage& storage, const ScanSettings& settings = {});

// The same in storage of its own.
EclipseTiming timeEclipse(std::span<const double> times, std::span<const double> magnitudes);

// Times of the method's tables (grid and trial times, days after the day
// offset D) as absolute times, t + D.
std::vector<double> absoluteTimes(std::span<const double> daysAfterOffset, std::int32_t dayOffset);

}  // namespace kvw::analysis
