#include "detail/connection_table.h"

#include <cassert>
#include <map>

#include "textio/run_failure.h"

namespace kvw::textio {

namespace detail {

namespace {

std::map<int, Connection>& connectionTable() {
    static std::map<int, Connection> table;
    return table;
}

}  // namespace

Connection* findConnection(int number) {
    auto& table = connectionTable();
    const auto found = table.find(number);
    return found == table.end() ? nullptr : &found->second;
}

Connection& installConnection(int number, Connection connection) {
    const auto [entry, inserted] = connectionTable().emplace(number, std::move(connection));
    assert(inserted && "the number must be free");
    return entry->second;
}

void closeConnection(int number, SourceLocation where) {
    auto& table = connectionTable();
    const auto found = table.find(number);
    if (found == table.end()) {
        return;
    }
    // Taken out of the table first: whatever the close meets, the number is free.
    Connection connection = std::move(found->second);
    table.erase(found);
    std::visit(
        [where](auto& open) {
            if constexpr (std::is_same_v<std::decay_t<decltype(open)>, TextConnection>) {
                releaseText(open, where);
            } else {
                releaseOutput(open, where);
            }
        },
        connection);
}

}  // namespace detail

void closeAllConnections(SourceLocation where) {
    auto& table = detail::connectionTable();
    FirstFailure failure;
    while (!table.empty()) {
        failure.attempt([&] { detail::closeConnection(table.begin()->first, where); });
    }
    failure.raise();
}

}  // namespace kvw::textio
