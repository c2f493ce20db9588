// Destinations of records: standard output and the summary file. Records are
// collected per statement, handed to an 8192-byte stream buffer (none on a
// terminal) when they end, and reach the system when the buffer is full, when
// a file is cut, and at closeAllConnections.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "textio/format.h"
#include "textio/source_location.h"
#include "textio/system_file.h"

namespace kvw::textio {

struct OutputConnection {
    int number = 0;
    std::string name;  // trailing blanks removed; "stdout" for standard output
    Access access = Access::readWrite;
    bool atEnd = true;  // clear: the file is cut after the first statement

    int descriptor = -1;
    bool ownsDescriptor = true;  // standard output is flushed, never closed
    bool unbuffered = false;
    std::string record;                    // the records of the statement under construction
    std::vector<std::size_t> recordEnds;   // where each of them ends
    std::string stream;                    // bytes waiting for the system
    long long position = 0;                // bytes handed to the system since the open

    FailureSite site(SourceLocation where) const { return {where, number, name}; }
};

// Connects a file for output with the status "UNKNOWN", closing whatever held
// the number: an existing file is kept, positioned at its start, and cut after
// the first statement.
OutputConnection& openConnection(int number, std::string_view name, std::string_view status,
                                 SourceLocation where = SourceLocation::current());

// Standard output, connection 6, opened on first use.
OutputConnection& standardOutput();

// One free-format record: a blank, the text, the terminator. Without a text,
// an empty record.
void writeFreeFormat(OutputConnection& connection, SourceLocation where = SourceLocation::current());
void writeFreeFormat(OutputConnection& connection, std::string_view text,
                     SourceLocation where = SourceLocation::current());

// One formatted write statement.
void writeFormatted(OutputConnection& connection, const Format& format, std::initializer_list<FormatValue> values,
                    SourceLocation where = SourceLocation::current());

}  // namespace kvw::textio
