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

// One row: the file, the eclipse it was predicted as (if any) and its timing.
struct Row {
    const std::string* file = nullptr;
    const timing::EclipseWindow* predicted = nullptr;  // null without an ephemeris
    const timing::TimedEclipse* eclipse = nullptr;
};

// The shortest decimal text that reads back to the same double.
std::string shortestText(double value);

const char* typeName(timing::EclipseType type);

void writeCsv(std::ostream& out, std::span<const Row> rows);
void writeJson(std::ostream& out, std::span<const Row> rows);

}  // namespace kvw::minima
