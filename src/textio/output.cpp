#include "textio/output.h"

#include <cassert>
#include <utility>

#include "detail/connection_table.h"

namespace kvw::textio {

namespace {

void flushStream(OutputConnection& connection, SourceLocation where) {
    if (connection.stream.empty()) {
        return;
    }
    // Whatever happens, these bytes are handed over once only.
    std::string pending;
    pending.swap(connection.stream);
    writeAll(connection.descriptor, pending, connection.site(where));
    connection.position += static_cast<long long>(pending.size());
}

void handOverRecord(OutputConnection& connection, std::string_view bytes, SourceLocation where) {
    if (connection.unbuffered) {
        writeAll(connection.descriptor, bytes, connection.site(where));
        connection.position += static_cast<long long>(bytes.size());
        return;
    }
    if (connection.stream.size() + bytes.size() > kStreamBufferSize) {
        flushStream(connection, where);
    }
    if (bytes.size() > kStreamBufferSize) {
        writeAll(connection.descriptor, bytes, connection.site(where));
        connection.position += static_cast<long long>(bytes.size());
        return;
    }
    connection.stream += bytes;
}

void checkWritable(const OutputConnection& connection, SourceLocation where) {
    if (connection.access == Access::readOnly) {
        raiseFailure(connection.site(where), "Cannot write to file opened for READ");
    }
}

// One write statement: `edit` builds its records in the record buffer; they
// go to the stream when the statement ends, and a file not yet at its end is
// cut behind them, once. The record buffer is empty between statements, even
// after a failure.
template <typename Edit>
void writeStatement(OutputConnection& connection, SourceLocation where, Edit&& edit) {
    checkWritable(connection, where);
    struct ClearRecordBuffer {
        OutputConnection& connection;
        ~ClearRecordBuffer() {
            connection.record.clear();
            connection.recordEnds.clear();
        }
    } clear{connection};
    std::forward<Edit>(edit)(connection.record, connection.recordEnds);
    const std::string_view record = connection.record;
    std::size_t start = 0;
    for (const std::size_t end : connection.recordEnds) {
        handOverRecord(connection, record.substr(start, end - start), where);
        start = end;
    }
    if (!connection.atEnd) {
        flushStream(connection, where);
        cutAt(connection.descriptor, connection.position, connection.site(where));
        connection.atEnd = true;
    }
}

// A record that holds `bytes`, ended by the terminator.
void addRecord(std::string& record, std::vector<std::size_t>& recordEnds, std::string_view bytes) {
    record += bytes;
    record += kRecordTerminator;
    recordEnds.push_back(record.size());
}

}  // namespace

void detail::releaseOutput(OutputConnection& connection, SourceLocation where) {
    FirstFailure failure;
    failure.attempt([&] { flushStream(connection, where); });
    if (connection.ownsDescriptor) {
        failure.attempt([&] { closeDescriptor(connection.descriptor, connection.site(where)); });
    }
    failure.raise();
}

OutputConnection& openConnection(int number, std::string_view name, std::string_view status,
                                 SourceLocation where) {
    assert(status == "UNKNOWN" && "the only status the program opens with");
    (void)status;
    detail::closeConnection(number, where);
    const OpenedFile file = openUnknown(name, number, where);
    OutputConnection connection;
    connection.number = number;
    connection.name = std::string(trimTrailingBlanks(name));
    connection.access = file.access;
    connection.atEnd = file.length == 0;  // the position is the start
    connection.descriptor = file.descriptor;
    connection.unbuffered = isTerminal(file.descriptor);
    return std::get<OutputConnection>(detail::installConnection(number, std::move(connection)));
}

OutputConnection& standardOutput() {
    if (detail::Connection* open = detail::findConnection(kOutputUnit)) {
        return std::get<OutputConnection>(*open);
    }
    OutputConnection connection;
    connection.number = kOutputUnit;
    connection.name = "stdout";
    connection.descriptor = 1;
    connection.ownsDescriptor = false;
    connection.unbuffered = isTerminal(1);
    return std::get<OutputConnection>(detail::installConnection(kOutputUnit, std::move(connection)));
}

void writeFreeFormat(OutputConnection& connection, SourceLocation where) {
    writeStatement(connection, where, [](std::string& record, std::vector<std::size_t>& recordEnds) {
        addRecord(record, recordEnds, "");
    });
}

void writeFreeFormat(OutputConnection& connection, std::string_view text, SourceLocation where) {
    writeStatement(connection, where, [text](std::string& record, std::vector<std::size_t>& recordEnds) {
        record += ' ';
        addRecord(record, recordEnds, text);
    });
}

void writeFormatted(OutputConnection& connection, const Format& format, std::initializer_list<FormatValue> values,
                    SourceLocation where) {
    writeStatement(connection, where, [&](std::string& record, std::vector<std::size_t>& recordEnds) {
        editStatement(format, std::span<const FormatValue>(values.begin(), values.size()), record, recordEnds);
    });
}

}  // namespace kvw::textio
