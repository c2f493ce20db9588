// Inside textio: byte access to a text connection for the record readers.
#pragma once

#include "textio/input.h"

namespace kvw::textio::detail {

// Refills an exhausted buffer from the system; false at the end of the file.
bool refillBuffer(TextConnection& connection, SourceLocation where);

// The next byte, or -1 at the end of the file.
inline int readByte(TextConnection& connection, SourceLocation where) {
    if (connection.next == connection.filled && !refillBuffer(connection, where)) {
        return -1;
    }
    return static_cast<unsigned char>(connection.buffer[connection.next++]);
}

// The next byte without taking it, or -1 at the end of the file.
inline int peekByte(TextConnection& connection, SourceLocation where) {
    if (connection.next == connection.filled && !refillBuffer(connection, where)) {
        return -1;
    }
    return static_cast<unsigned char>(connection.buffer[connection.next]);
}

// Skips up to and including the next LF; false when the file ended first.
bool skipPastLineFeed(TextConnection& connection, SourceLocation where);

// Raises the failure for a read that the connection's access or state forbids.
void checkReadable(const TextConnection& connection, SourceLocation where);

}  // namespace kvw::textio::detail
