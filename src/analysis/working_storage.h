// The tables that one timing of an eclipse works in, reserved at once for a
// given number of observations and handed to each phase by reference: once
// reserved, no phase allocates, so a lack of memory shows before any work.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/table.h"

namespace kvw::analysis {

// The resampled curve and the search for the segment that holds each grid time.
struct ResamplingStorage {
    Table gridTimes;             // g_t(1..N+1), at most 2n + 9 points
    Table gridMagnitudes;        // g_m(1..N+1)
    IndexTable segments;         // the segment of each grid point
    IndexTable usableSegments;   // times out of order: the segments that can hold a time
    IndexTable gridOrder;        // times out of order: the grid points by time
    IndexTable openSegments;     // times out of order: the heap of segments begun
};

// The trials of the symmetry scan.
struct ScanStorage {
    Table trialTimes;            // X(1..4K-1), at most 4n + 15 trials
    Table sums;                  // S(1..4K-1)
    IndexTable pairCounts;
};

struct WorkingStorage {
    ResamplingStorage resampling;
    ScanStorage scan;
};

// Reserves every table for a curve of up to `observations` points; raises
// std::bad_alloc when memory runs short. Tables already large enough stay.
void reserveWorkingStorage(WorkingStorage& storage, std::size_t observations);

}  // namespace kvw::analysis
