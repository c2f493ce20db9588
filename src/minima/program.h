// kvw-minima from its command line to its exit status: read every file, time
// every eclipse, write the table, report on the error stream.
#pragma once

namespace kvw::minima {

// Returns the exit status: 0 when every file was read, 2 when a file could
// not be read or its ephemeris was refused, the options are wrong, the table
// or the pictures cannot be written or an unexpected failure ended the run,
// 1 when memory ran out. No exception leaves it.
int runMinima(int argc, const char* const* argv);

}  // namespace kvw::minima
