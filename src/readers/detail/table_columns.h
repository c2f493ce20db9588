// The columns of a table, found by name or number, and the rows read column
// by column into a PointCollector. Internal to the readers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "detail/point_collector.h"
#include "detail/text_fields.h"
#include "readers/light_curve.h"

namespace kvw::readers::detail {

// A row of a text table: its line number and its fields.
struct TextRow {
    std::size_t line;
    std::vector<std::string> fields;
};

// A column of a text table: 0-based index and the name used in messages (the
// header's name, or the role without a header row).
struct TableColumn {
    std::size_t index;
    std::string label;
};

struct TableColumns {
    TableColumn time;
    TableColumn value;
    bool hasError = false;
    TableColumn error;
    ValueKind kind = ValueKind::magnitude;
};

// The first column of the header with this name, compared without regard to
// case; nothing when there is none.
std::optional<std::size_t> columnNamed(const std::vector<std::string>& header, std::string_view name);

// The column an option names: a 1-based number or a header name (without
// regard to case). A ReadError when there is no such column.
TableColumn findColumn(const std::string& option, const std::vector<std::string>& header,
                       const std::string& source, const char* role);

// The label of column `index`: its header name, else the role.
TableColumn columnAt(std::size_t index, const std::vector<std::string>& header, const char* role);

// The value column and its kind named by the options, or nothing when they name none.
// A ReadError when they name both a magnitude and a flux column.
bool valueColumnFromOptions(const ReadOptions& options, const std::vector<std::string>& header,
                            const std::string& source, TableColumns& columns);

// The field of a row in a column; a ReadError naming the place when the row
// is too short to have it.
const std::string& fieldAt(const TextRow& row, const TableColumn& column, const std::string& source);

// How the times of the points read were written.
struct TimeKinds {
    std::size_t calendarDates = 0;  // UTC calendar dates
    std::size_t numbers = 0;
};

// Reads time, value and error of each row into the collector; a missing time
// or value leaves the point out (counted), a missing error is NaN. Times are
// read by `readTimeField`.
TimeKinds collectRows(const std::vector<TextRow>& rows, const TableColumns& columns,
                      const std::string& source, PointCollector& collector,
                      FieldValue (*readTimeField)(std::string_view) = readTime);

// Sets the curve's time scale: calendar dates are JD_UTC, numbers have
// `numberScale` as `numberSource` states it (empty: nothing states it).
// A ReadError when dates meet numbers of another stated scale.
void settleTimeScale(LightCurve& curve, const TimeKinds& kinds, timescale::TimeScale numberScale,
                     const std::string& numberSource);

// "source:line: column 3 (mag): " for a message.
std::string placeOf(const std::string& source, std::size_t line, const TableColumn& column);

}  // namespace kvw::readers::detail
