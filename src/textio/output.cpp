#include "textio/output.h"

#include <map>
#include <stdexcept>

#include "textio/input.h"
#include "textio/io_failure.h"

namespace kvw::textio {

namespace {

std::map<int, OutputConnection>& connectionTable() {
    static std::map<int, OutputConnection> table;
    return table;
}

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

// Ends a statement: its records go to the stream; a file not yet at its end is
// cut behind them, once.
void endStatement(OutputConnection& connection, SourceLocation where) {
    struct ClearRecordBuffer {
        OutputConnection& connection;
        ~ClearRecordBuffer() {
            connection.record.clear();
            connection.recordEnds.clear();
        }
    } clear{connection};
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

void checkWritable(const OutputConnection& connection, SourceLocation where) {
    if (connection.access == Access::readOnly) {
        raiseFailure(connection.site(where), "Cannot write to file opened for READ");
    }
}

void closeOutputConnection(OutputConnection& connection, SourceLocation where) {
    const int number = connection.number;
    const std::string name = connection.name;
    const int descriptor = connection.descriptor;
    const bool owned = connection.ownsDescriptor;
    FirstFailure failure;
    failure.attempt([&] { flushStream(connection, where); });
    connectionTable().erase(number);
    if (owned) {
        failure.attempt([&] { closeDescriptor(descriptor, {where, number, name}); });
    }
    failure.raise();
}

}  // namespace

OutputConnection& openConnection(int number, std::string_view name, std::string_view status,
                                 SourceLocation where) {
    if (status != "UNKNOWN") {
        throw std::invalid_argument("openConnection: only the status UNKNOWN is supported");
    }
    if (TextConnection* reading = findTextConnection(number)) {
        closeTextFile(*reading, where);
    }
    auto& table = connectionTable();
    if (auto open = table.find(number); open != table.end()) {
        closeOutputConnection(open->second, where);
    }
    const OpenedFile file = openUnknown(name, number, where);
    OutputConnection connection;
    connection.number = number;
    connection.name = std::string(trimTrailingBlanks(name));
    connection.access = file.access;
    connection.atEnd = file.length == 0;  // the position is the start
    connection.descriptor = file.descriptor;
    connection.unbuffered = isTerminal(file.descriptor);
    return table.insert_or_assign(number, std::move(connection)).first->second;
}

OutputConnection& standardOutput() {
    auto& table = connectionTable();
    if (auto open = table.find(kOutputUnit); open != table.end()) {
        return open->second;
    }
    OutputConnection connection;
    connection.number = kOutputUnit;
    connection.name = "stdout";
    connection.descriptor = 1;
    connection.ownsDescriptor = false;
    connection.unbuffered = isTerminal(1);
    return table.emplace(kOutputUnit, std::move(connection)).first->second;
}

void writeFreeFormat(OutputConnection& connection, SourceLocation where) {
    checkWritable(connection, where);
    connection.record += kRecordTerminator;
    connection.recordEnds.push_back(connection.record.size());
    endStatement(connection, where);
}

void writeFreeFormat(OutputConnection& connection, std::string_view text, SourceLocation where) {
    checkWritable(connection, where);
    connection.record += ' ';
    connection.record += text;
    connection.record += kRecordTerminator;
    connection.recordEnds.push_back(connection.record.size());
    endStatement(connection, where);
}

void writeFormatted(OutputConnection& connection, const Format& format, std::initializer_list<FormatValue> values,
                    SourceLocation where) {
    checkWritable(connection, where);
    try {
        editStatement(format, std::span<const FormatValue>(values.begin(), values.size()), connection.record,
                      connection.recordEnds);
    } catch (...) {
        // A statement that cannot be edited leaves no partial record behind.
        connection.record.clear();
        connection.recordEnds.clear();
        throw;
    }
    endStatement(connection, where);
}

void closeAllConnections(SourceLocation where) {
    auto& table = connectionTable();
    FirstFailure failure;
    while (!table.empty()) {
        failure.attempt([&] { closeOutputConnection(table.begin()->second, where); });
    }
    failure.attempt([&] { closeAllTextConnections(where); });
    failure.raise();
}

}  // namespace kvw::textio
