// Format texts such as "(2I5,1X,F14.8)": parsed once into a list of items,
// then used to edit the values of a write statement into records.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kvw::textio {

enum class ItemKind {
    integer,    // Iw
    fixed,      // Fw.d
    character,  // Aw, or A without a width
    skip,       // nX
    newRecord,  // /
    literal,    // 'text'
};

struct FormatItem {
    ItemKind kind = ItemKind::literal;
    int width = 0;          // w of Iw, Fw.d and Aw; n of nX
    int decimals = 0;       // d of Fw.d
    bool hasWidth = false;  // A with an explicit width
    std::string text;       // the characters of a quoted text

    bool isData() const {
        return kind == ItemKind::integer || kind == ItemKind::fixed || kind == ItemKind::character;
    }
};

// A format text in parentheses, items separated by commas (optional next to
// "/"); blanks and tabs outside quotes are ignored, letters are
// case-insensitive, and a repeat count before I, F or A is expanded here, so
// "2I5" becomes two integer items. A malformed text throws std::invalid_argument.
class Format {
public:
    explicit Format(std::string_view text);

    const std::vector<FormatItem>& items() const { return items_; }
    std::string_view text() const { return text_; }

private:
    std::string text_;
    std::vector<FormatItem> items_;
};

// One value of a write statement: a text for A, an integer for I, a double for F.
using FormatValue = std::variant<std::string_view, std::int32_t, double>;

// The records of one write statement, each ended by CR LF, appended to `out`;
// the offset just past each record's terminator is appended to `recordEnds`.
// Each value must be of the kind its data item edits, with no more values
// than data items (the formats are the program's own).
void editStatement(const Format& format, std::span<const FormatValue> values, std::string& out,
                   std::vector<std::size_t>& recordEnds);

inline constexpr std::string_view kRecordTerminator = "\r\n";

}  // namespace kvw::textio
