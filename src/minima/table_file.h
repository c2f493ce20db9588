// Where the table goes: standard output, or a file replaced whole. The file
// is written beside itself under a temporary name, flushed to the disk,
// closed and renamed over FILE only when complete, so that a run that fails
// (a full disk, a signal) leaves an older FILE exactly as it was. A FILE that
// is not a regular file (a device such as /dev/null, a pipe) is written as it is.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kvw::minima {

// Writes `text` to standard output when `path` is empty, else to the file;
// returns why it could not (the system's reason, e.g. "cannot write the table
// to out.csv: No space left on device"), or nothing.
std::optional<std::string> writeTable(const std::string& path, std::string_view text);

}  // namespace kvw::minima
