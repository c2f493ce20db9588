// The operating system's files, as the connections use them: open by name
// with the status "UNKNOWN", read, write, reposition, cut and close. Every
// refusal becomes a RunFailure naming the connection and the statement.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "textio/run_failure.h"
#include "textio/source_location.h"

namespace kvw::textio {

enum class Access { readWrite, readOnly, writeOnly };

struct OpenedFile {
    int descriptor = -1;
    Access access = Access::readWrite;
    bool regular = false;   // an ordinary file, which can be repositioned and cut
    long long length = 0;   // its length when opened
    bool created = false;   // it did not exist before the open
};

// The name with its trailing blanks removed; only the blank counts.
std::string_view trimTrailingBlanks(std::string_view name);

// Opens by the rules of the status "UNKNOWN": read and write, creating a
// missing file (and saying so); refused for lack of rights, read-only, then
// write-only.
// Pipes and sockets are refused, since a run could wait on them for ever.
OpenedFile openUnknown(std::string_view name, int unit, SourceLocation where);

// Reads at most `capacity` bytes; 0 at the end of the file.
std::size_t readSome(int descriptor, char* buffer, std::size_t capacity, const FailureSite& site);

void writeAll(int descriptor, std::string_view bytes, const FailureSite& site);

// Sets the position to the start of the file; false when the file cannot be
// repositioned (a pipe, a terminal).
bool seekToStart(int descriptor, const FailureSite& site);

void cutAt(int descriptor, long long length, const FailureSite& site);

// The file's length now (0 for most devices).
long long lengthOf(int descriptor, const FailureSite& site);

void closeDescriptor(int descriptor, const FailureSite& site);

bool isTerminal(int descriptor);

// Makes sure the three standard descriptors are open, so that no file opened
// later takes the place of one of them. A missing one is opened on /dev/null
// read-only: reading it meets the end at once, and writing to it is refused.
void guardStandardDescriptors();

// Ignore SIGPIPE, so that a closed pipe on standard output is a refused write
// that the run reports, not a signal that ends it silently.
void ignoreBrokenPipes();

// Writes the diagnostics to the error stream, without buffering; a refusal is
// ignored, since there is nowhere left to report it.
void writeToErrorStream(std::string_view text);

}  // namespace kvw::textio
