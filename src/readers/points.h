// From values read to a LightCurve: flux to magnitude, the count of each kind
// of point left out, the stable sort by time; and the columns of a text
// table read row by row. Internal to the readers.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "readers/light_curve.h"

namespace kvw::readers::detail {

enum class ValueKind { magnitude, flux };

class PointCollector {
public:
    PointCollector(std::string source, ValueKind kind) : source_(std::move(source)), kind_(kind) {}

    // A point in file order; `error` NaN when it has none. A flux of zero or
    // less is left out.
    void add(double time, double value, double error);

    // Counts a point left out for `reason` ("with a non-zero QUALITY flag").
    void leaveOut(const std::string& reason);

    // The points sorted by time, with the notes; a ReadError when fewer than
    // two are left.
    LightCurve finish();

private:
    std::string source_;
    ValueKind kind_;
    std::vector<double> times_;
    std::vector<double> magnitudes_;
    std::vector<double> errors_;
    bool anyError_ = false;
    std::vector<std::pair<std::string, std::size_t>> leftOut_;  // in the order first met
};

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

// Reads time, value and error of each row into the collector; a missing time
// or value leaves the point out (counted), a missing error is NaN.
void collectRows(const std::vector<TextRow>& rows, const TableColumns& columns,
                 const std::string& source, PointCollector& collector);

// "source:line: column 3 (mag): " for a message.
std::string placeOf(const std::string& source, std::size_t line, const TableColumn& column);

}  // namespace kvw::readers::detail
