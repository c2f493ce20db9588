// The end of a run's input and output.
#pragma once

#include "textio/source_location.h"

namespace kvw::textio {

// Hands every buffer to the system and closes every connection, reading or
// writing. Every connection is closed even when one refuses; the first
// refusal is raised afterwards.
void closeAllConnections(SourceLocation where = SourceLocation::current());

}  // namespace kvw::textio
