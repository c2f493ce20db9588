// The run driver: the console dialogue, then the phases in order.
#pragma once

#include <string>
#include <string_view>

namespace kvw::driver {

// The two identification lines' texts, 65 characters each.
extern const std::string kIdentificationLine1;
extern const std::string kIdentificationLine2;

// Clears the console, shows the identification and the prompt, reads the
// observation file's name and runs the analysis. A failure is raised as
// textio::RunFailure, or std::bad_alloc when memory runs out.
void runProgram();

// The steps of runProgram once the name is known: load the observations,
// select the branch and resample it, scan the symmetry (writing KWEESUM.DAT
// in the current directory) and refine the minimum (the report).
void analyseObservationFile(std::string_view fileName);

// The record "Singular matrix." on standard output for each all-zero row of
// a matrix that linalg::ludcmp decomposed (its return value).
void reportSingularRows(int zeroRows);

// Runs the program and ends the run: prints a failure's diagnostics on the
// error stream, hands every buffer to the system and closes every connection.
// Returns the exit status: 0 normal stop, 1 out of memory, 2 input/output failure.
int runAndClose();

}  // namespace kvw::driver
