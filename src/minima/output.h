// The table of timed eclipses: CSV with a header row, or JSON with the
// method's detail for plotting. Numbers in the shortest text that reads back
// to the same double; a missing value, and one that is not finite, is an
// empty field (CSV) or null (JSON). A file name is written as its bytes in
// CSV; in JSON, bytes that are not UTF-8 become U+FFFD.
#pragma once

#include <ostream>
#include <span>
#include <string>

#include "timing/ephemeris.h"
#include "timing/time_eclipses.h"

namespace kvw::minima {

// The shortest decimal text that reads back to the same double.
std::string shortestText(double value);

const char* typeName(timing::EclipseType type);

// A row for each eclipse: its file, the eclipse it was predicted as (if any)
// and how its timing came out.
void writeCsv(std::ostream& out, std::span<const timing::Eclipse> rows);
void writeJson(std::ostream& out, std::span<const timing::Eclipse> rows);

}  // namespace kvw::minima
