// The free-format reader: real numbers from a text connection, separated by
// blanks, tabs, commas, semicolons or line ends, with null values, repeat
// counts ("3*1.5"), a slash that ends the statement, and its end-of-file rules.
#pragma once

#include <cstdint>
#include <span>

#include "textio/input.h"
#include "textio/source_location.h"

namespace kvw::textio {

// The state of one read statement, made afresh for each.
struct FreeFormatState {
    std::int32_t itemNumber = 0;   // the item being read, from 1
    std::int32_t repeatCount = 0;  // further items that take the saved value
    double savedValue = 0;
    bool savedIsNull = false;      // the repeat group is one of null values
    bool firstItem = true;
    bool inputComplete = false;    // a slash was met
    bool atLineEnd = false;        // the last character taken was CR or LF
    bool commaSeen = false;        // the last separator was a comma or semicolon
    int pushback = -1;             // the next character to take, or none
};

// What became of one target of a read statement.
enum class ItemOutcome : std::uint8_t {
    notReached,  // the statement ended before this item
    assigned,
    null,        // a null value: the target keeps its previous value
};

inline constexpr std::int32_t kLargestRepeatCount = 200000000;

// One read statement into the targets, in order. `outcomes` has one entry per
// target. Returns end of file when the file ended before the statement was
// complete, or while the rest of the last line was skipped after the last
// item (the items may then all be assigned).
ReadResult readFreeFormatRecord(TextConnection& connection, std::span<double> targets,
                                std::span<ItemOutcome> outcomes,
                                SourceLocation where = SourceLocation::current());

}  // namespace kvw::textio
