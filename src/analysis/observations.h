// Loading: the observation file -> the ObservationSeries, with all working
// storage of the run reserved before the numbers are read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/table.h"

namespace kvw::analysis {

struct ObservationSeries {
    std::string source;  // the observation file's name, for diagnostics
    std::int32_t count = 0;
    Table times;       // T(1..count), in file order
    Table magnitudes;  // M(1..count)
};

// The tables of the later phases, reserved by the loader for the whole run.
struct WorkingStorage {
    Table gridTimes;
    Table gridMagnitudes;
    Table trialTimes;
    Table sums;
};

struct LoadedObservations {
    ObservationSeries series;
    WorkingStorage storage;
};

// Opens the file with the status "UNKNOWN" (a missing file is created empty),
// counts its lines, reserves the storage (OutOfMemory when it cannot), reads
// one time and one magnitude per record and closes the file. Only complete
// observations count; a null value, a bad number, or fewer than two complete
// observations end the run with an IoFailure.
LoadedObservations loadObservations(std::string_view fileName);

}  // namespace kvw::analysis
