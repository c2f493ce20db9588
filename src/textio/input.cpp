#include "textio/input.h"

#include <cstring>
#include <map>
#include <stdexcept>

#include "textio/io_failure.h"

namespace kvw::textio {

namespace {

std::map<int, TextConnection>& connectionTable() {
    static std::map<int, TextConnection> table;
    return table;
}

}  // namespace

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

TextConnection* findTextConnection(int number) {
    auto& table = connectionTable();
    auto found = table.find(number);
    return found == table.end() ? nullptr : &found->second;
}

TextConnection& openTextFile(int number, std::string_view name, std::string_view status,
                             SourceLocation where) {
    if (status != "UNKNOWN") {
        throw std::invalid_argument("openTextFile: only the status UNKNOWN is supported");
    }
    if (TextConnection* open = findTextConnection(number)) {
        closeTextFile(*open, where);
    }
    const OpenedFile file = openUnknown(name, number, where);
    TextConnection connection;
    connection.number = number;
    connection.name = std::string(trimTrailingBlanks(name));
    connection.access = file.access;
    connection.endState = file.length == 0 && file.regular ? EndState::atEnd : EndState::notAtEnd;
    connection.descriptor = file.descriptor;
    connection.regular = file.regular;
    connection.buffer.resize(kStreamBufferSize);
    return connectionTable().insert_or_assign(number, std::move(connection)).first->second;
}

TextConnection& standardInput() {
    if (TextConnection* open = findTextConnection(kInputUnit)) {
        return *open;
    }
    TextConnection connection;
    connection.number = kInputUnit;
    connection.name = "stdin";
    connection.access = Access::readOnly;
    connection.descriptor = 0;
    connection.ownsDescriptor = false;
    connection.buffer.resize(isTerminal(0) ? 1 : kStreamBufferSize);
    return connectionTable().emplace(kInputUnit, std::move(connection)).first->second;
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

ReadResult readCharacterRecord(TextConnection& connection, int width, std::span<char> field,
                               SourceLocation where) {
    if (width < 1 || static_cast<std::size_t>(width) > field.size()) {
        throw std::invalid_argument("readCharacterRecord: the width must lie between 1 and the field length");
    }
    checkReadable(connection, where);
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
        skipPastLineFeed(connection, where);
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
    const int descriptor = connection.descriptor;
    const bool owned = connection.ownsDescriptor;
    const int number = connection.number;
    const std::string name = connection.name;  // the entry is gone before the close
    connectionTable().erase(number);
    if (owned) {
        closeDescriptor(descriptor, {where, number, name});
    }
}

void closeAllTextConnections(SourceLocation where) {
    auto& table = connectionTable();
    FirstFailure failure;
    while (!table.empty()) {
        failure.attempt([&] { closeTextFile(table.begin()->second, where); });
    }
    failure.raise();
}

}  // namespace kvw::textio
