// Inside textio: the one table of open connections, reading or writing, by
// connection number. Opening on a number closes whatever held it.
#pragma once

#include <variant>

#include "textio/input.h"
#include "textio/output.h"

namespace kvw::textio::detail {

using Connection = std::variant<TextConnection, OutputConnection>;

// The connection that holds this number, or null.
Connection* findConnection(int number);

// Places a connection under its number; whatever held the number must have
// been closed first (closeConnection).
Connection& installConnection(int number, Connection connection);

// Closes the connection that holds this number, if any: an output connection
// hands its buffer to the system first. The entry is gone even when a step is
// refused; the first refusal is raised.
void closeConnection(int number, SourceLocation where);

// The kind-specific halves of a close, each in its own file.
void releaseText(TextConnection& connection, SourceLocation where);
void releaseOutput(OutputConnection& connection, SourceLocation where);

}  // namespace kvw::textio::detail
