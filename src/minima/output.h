// The table of timed eclipses: CSV with a header row, or JSON with the
// method's detail for plotting. Numbers in the shortest text that reads back
// to the same double; a missing value, and one that is not finite, is an
// empty field (CSV) or null (JSON). A file name is written as its bytes in
// CSV; in JSON, bytes that are not UTF-8 become U+FFFD.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "timing/ephemeris.h"
#include "timing/time_eclipses.h"

namespace kvw::minima {

// The shortest decimal text that reads back to the same double.
std::string shortestText(double value);

const char* typeName(timing::EclipseType type);

// The columns of the table, one definition for the CSV writer and for the
// Python package's DataFrame: each column's name and the kind of its cells.
enum class CellKind { text, number, count };
struct Column {
    const char* name;
    CellKind kind;
};
std::span<const Column> tableColumns();

// A cell of a row: missing, a count, a number (always finite: a value that is
// not is missing) or a text, as its column's kind says.
using Cell = std::variant<std::monostate, std::int64_t, double, std::string>;

// The cells of an eclipse's row, one per column of tableColumns(), in order.
std::vector<Cell> rowCells(const timing::Eclipse& row);

// A row for each eclipse: its file, the eclipse it was predicted as (if any)
// and how its timing came out.
void writeCsv(std::ostream& out, std::span<const timing::Eclipse> rows);
void writeJson(std::ostream& out, std::span<const timing::Eclipse> rows);

}  // namespace kvw::minima
