// The console program's first step: the observation file -> the
// ObservationSeries, with every table of the run reserved before the numbers
// are read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/table.h"
#include "analysis/working_storage.h"

namespace kvw::driver {

struct ObservationSeries {
    std::string source;          // the observation file's name, for diagnostics
    analysis::Table times;       // T(1..n), in file order
    analysis::Table magnitudes;  // M(1..n)
};

// Opens the file with the status "UNKNOWN" (a missing file is created empty),
// counts its lines, reserves the series and the working storage for that many
// observations (std::bad_alloc when memory runs short), reads one time and one
// magnitude per record and closes the file. Only complete observations count;
// a null value, a bad number, or fewer than two complete observations end the
// run with a failure.
ObservationSeries loadObservations(std::string_view fileName, analysis::WorkingStorage& storage);

}  // namespace kvw::driver
