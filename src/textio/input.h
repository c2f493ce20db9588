// Text sources: the observation file and standard input, read as records.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "textio/run_failure.h"
#include "textio/source_location.h"
#include "textio/system_file.h"

namespace kvw::textio {

enum class EndState { notAtEnd, atEnd, pastEnd };

enum class ReadResult { done, endOfFile };

struct TextConnection {
    int number = 0;
    std::string name;  // trailing blanks removed; "stdin" for standard input
    Access access = Access::readWrite;
    EndState endState = EndState::notAtEnd;
    bool recordEnded = false;  // the terminator was consumed while a field was taken

    int descriptor = -1;
    bool ownsDescriptor = true;  // standard input is never closed
    bool regular = false;
    bool created = false;        // the open created the file: it did not exist before
    std::vector<char> buffer;    // 8192 bytes; 1 for a terminal, read without buffering
    std::size_t next = 0;        // the next unread byte of the buffer
    std::size_t filled = 0;      // the bytes of the buffer that hold data
    bool sawEnd = false;         // the system reported the end of the file

    FailureSite site(SourceLocation where) const { return {where, number, name}; }
};

inline constexpr std::size_t kStreamBufferSize = 8192;

// Connects a file by name with the status "UNKNOWN", closing whatever held the
// number. The connection lives in the table of open connections until
// closeTextFile or closeAllConnections.
TextConnection& openTextFile(int number, std::string_view name, std::string_view status,
                             SourceLocation where = SourceLocation::current());

// Standard input, connection 5, opened on first use.
TextConnection& standardInput();

// One record under a single A edit of width w into a field of L characters
// (taken characters first, blanks after). End of file only when the file ends
// before the first character of a record.
ReadResult readCharacterRecord(TextConnection& connection, int width, std::span<char> field,
                               SourceLocation where = SourceLocation::current());

void rewindTextFile(TextConnection& connection, SourceLocation where = SourceLocation::current());

void closeTextFile(TextConnection& connection, SourceLocation where = SourceLocation::current());

}  // namespace kvw::textio
