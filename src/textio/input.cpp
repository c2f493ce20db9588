#include "textio/input.h"

#include <cassert>
#include <cstring>

#include "detail/connection_table.h"
#include "detail/text_bytes.h"

namespace kvw::textio {

namespace detail {

bool refillBuffer(TextConnection& connection, SourceLocation where) {
    if (connection.next < connection.filled) {
        return true;
    }
    connection.next = 0;
    connection.filled = 0;
    if (connection.sawEnd) {
        return false;  // the end is not read twice: a terminal would wait again
    }
    connection.filled =
        readSome(connection.descriptor, connection.buffer.data(), connection.buffer.size(), connection.site(where));
    connection.sawEnd = connection.filled == 0;
    return connection.filled > 0;
}

bool skipPastLineFeed(TextConnection& connection, SourceLocation where) {
    while (refillBuffer(connection, where)) {
        const char* begin = connection.buffer.data() + connection.next;
        const std::size_t available = connection.filled - connection.next;
        if (const void* lineFeed = std::memchr(begin, '\n', available)) {
            connection.next += static_cast<std::size_t>(static_cast<const char*>(lineFeed) - begin) + 1;
            return true;
        }
        connection.next = connection.filled;
    }
    return false;
}

void checkReadable(const TextConnection& connection, SourceLocation where) {
    if (connection.access == Access::writeOnly) {
        raiseFailure(connection.site(where), "Cannot read from file opened for WRITE");
    }
    if (connection.endState == EndState::pastEnd) {
        raiseFailure(connection.site(where), "Read past ENDFILE record");
    }
}

void releaseText(TextConnection& connection, SourceLocation where) {
    if (connection.ownsDescriptor) {
        closeDescriptor(connection.descriptor, connection.site(where));
    }
}

}  // namespace detail

using detail::peekByte;
using detail::readByte;

TextConnection& openTextFile(int number, std::string_view name, std::string_view status,
                             SourceLocation where) {
    assert(status == "UNKNOWN" && "the only status the program opens with");
    (void)status;
    detail::closeConnection(number, where);
    const OpenedFile file = openUnknown(name, number, where);
    TextConnection connection;
    connection.number = number;
    connection.name = std::string(trimTrailingBlanks(name));
    connection.access = file.access;
    connection.endState = file.length == 0 && file.regular ? EndState::atEnd : EndState::notAtEnd;
    connection.descriptor = file.descriptor;
    connection.regular = file.regular;
    connection.created = file.created;
    connection.buffer.resize(kStreamBufferSize);
    return std::get<TextConnection>(detail::installConnection(number, std::move(connection)));
}

TextConnection& standardInput() {
    if (detail::Connection* open = detail::findConnection(kInputUnit)) {
        return std::get<TextConnection>(*open);
    }
    TextConnection connection;
    connection.number = kInputUnit;
    connection.name = "stdin";
    connection.access = Access::readOnly;
    connection.descriptor = 0;
    connection.ownsDescriptor = false;
    connection.buffer.resize(isTerminal(0) ? 1 : kStreamBufferSize);
    return std::get<TextConnection>(detail::installConnection(kInputUnit, std::move(connection)));
}

ReadResult readCharacterRecord(TextConnection& connection, int width, std::span<char> field,
                               SourceLocation where) {
    assert(width >= 1 && static_cast<std::size_t>(width) <= field.size());
    detail::checkReadable(connection, where);
    std::size_t taken = 0;
    const auto wanted = static_cast<std::size_t>(width);
    bool anyByte = false;
    connection.recordEnded = false;
    while (taken < wanted) {
        const int c = readByte(connection, where);
        if (c < 0) {
            break;
        }
        anyByte = true;
        if (c == '\n') {
            connection.recordEnded = true;
            break;
        }
        if (c == '\r') {
            // CR LF is one terminator; a CR alone also ends the record here.
            if (peekByte(connection, where) == '\n') {
                readByte(connection, where);
            }
            connection.recordEnded = true;
            break;
        }
        field[taken++] = static_cast<char>(c);
    }
    if (!anyByte) {
        connection.endState = EndState::pastEnd;
        return ReadResult::endOfFile;
    }
    std::memset(field.data() + taken, ' ', field.size() - taken);
    if (!connection.recordEnded) {
        detail::skipPastLineFeed(connection, where);
    }
    connection.recordEnded = false;
    return ReadResult::done;
}

void rewindTextFile(TextConnection& connection, SourceLocation where) {
    connection.next = 0;
    connection.filled = 0;
    connection.sawEnd = false;
    connection.recordEnded = false;
    if (connection.regular) {
        seekToStart(connection.descriptor, connection.site(where));
        connection.endState = EndState::notAtEnd;
        return;
    }
    // A device: at its end only when its length and position are both zero.
    if (seekToStart(connection.descriptor, connection.site(where)) &&
        lengthOf(connection.descriptor, connection.site(where)) == 0) {
        connection.endState = EndState::atEnd;
    }
}

void closeTextFile(TextConnection& connection, SourceLocation where) {
    detail::closeConnection(connection.number, where);
}

}  // namespace kvw::textio
