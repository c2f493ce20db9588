#include "textio/format.h"

#include <cassert>
#include <cctype>
#include <stdexcept>

#include "textio/numeric_fields.h"

namespace kvw::textio {

namespace {

// Widths, counts and repeat counts of a format; the program's are all small.
constexpr long kLargestNumber = 999;

// Walks a format text, skipping blanks and tabs outside quotes.
class FormatScanner {
public:
    explicit FormatScanner(std::string_view text) : text_(text) {}

    char peek() {
        skipBlanks();
        return position_ < text_.size() ? upper(text_[position_]) : '\0';
    }
    char take() {
        const char c = peek();
        if (position_ < text_.size()) {
            ++position_;
        }
        return c;
    }
    bool atDigit() { return std::isdigit(static_cast<unsigned char>(peek())) != 0; }

    int number() {
        if (!atDigit()) {
            fail("a number expected");
        }
        long value = 0;
        while (atDigit()) {
            value = value * 10 + (take() - '0');
            if (value > kLargestNumber) {
                fail("a number out of range");
            }
        }
        return static_cast<int>(value);
    }

    // The characters of a quoted text; the opening apostrophe is already taken.
    std::string quoted() {
        std::string text;
        for (;;) {
            if (position_ >= text_.size()) {
                fail("an unterminated text");
            }
            const char c = text_[position_++];
            if (c == '\'') {
                if (position_ < text_.size() && text_[position_] == '\'') {
                    text += '\'';
                    ++position_;
                    continue;
                }
                return text;
            }
            text += c;
        }
    }

    [[noreturn]] void fail(const char* what) const {
        throw std::invalid_argument(std::string("format ") + std::string(text_) + ": " + what);
    }

private:
    void skipBlanks() {
        while (position_ < text_.size() && (text_[position_] == ' ' || text_[position_] == '\t')) {
            ++position_;
        }
    }
    static char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

    std::string_view text_;
    std::size_t position_ = 0;
};

FormatItem makeItem(ItemKind kind, int width = 0) {
    FormatItem item;
    item.kind = kind;
    item.width = width;
    return item;
}

// Iw, Fw.d or Aw (the letter taken), repeated `count` times.
void addDataItems(FormatScanner& scanner, char letter, int count, std::vector<FormatItem>& items) {
    FormatItem item;
    switch (letter) {
        case 'I':
            item.kind = ItemKind::integer;
            item.width = scanner.number();
            item.hasWidth = true;
            break;
        case 'F':
            item.kind = ItemKind::fixed;
            item.width = scanner.number();
            if (scanner.take() != '.') {
                scanner.fail("'.' expected in F");
            }
            item.decimals = scanner.number();
            item.hasWidth = true;
            break;
        case 'A':
            item.kind = ItemKind::character;
            if (scanner.atDigit()) {
                item.width = scanner.number();
                item.hasWidth = true;
            }
            break;
        default:
            scanner.fail("an unknown item");
    }
    if (count < 1) {
        scanner.fail("a repeat count of zero");
    }
    items.insert(items.end(), static_cast<std::size_t>(count), item);
}

// One item that is not a separator: a quoted text, nX, or a data item with
// an optional repeat count.
void addItem(FormatScanner& scanner, std::vector<FormatItem>& items) {
    if (scanner.peek() == '\'') {
        scanner.take();
        FormatItem item = makeItem(ItemKind::literal);
        item.text = scanner.quoted();
        items.push_back(std::move(item));
        return;
    }
    const bool counted = scanner.atDigit();
    const int count = counted ? scanner.number() : 1;
    const char letter = scanner.take();
    if (letter == 'X') {
        if (!counted) {
            scanner.fail("X needs a count");
        }
        items.push_back(makeItem(ItemKind::skip, count));
        return;
    }
    addDataItems(scanner, letter, count, items);
}

}  // namespace

Format::Format(std::string_view text) : text_(text) {
    FormatScanner scanner(text);
    if (scanner.take() != '(') {
        scanner.fail("'(' expected");
    }
    // Items are separated by commas; a slash is an item that needs none.
    bool needSeparator = false;  // an item was read and no comma or slash followed yet
    bool commaAllowed = false;   // after an item or a slash
    for (char c = scanner.peek(); c != ')'; c = scanner.peek()) {
        if (c == '\0') {
            scanner.fail("')' expected");
        }
        if (c == ',') {
            if (!commaAllowed) {
                scanner.fail("an item expected before ','");
            }
            scanner.take();
            needSeparator = commaAllowed = false;
        } else if (c == '/') {
            scanner.take();
            items_.push_back(makeItem(ItemKind::newRecord));
            needSeparator = false;
            commaAllowed = true;
        } else {
            if (needSeparator) {
                scanner.fail("',' expected between items");
            }
            addItem(scanner, items_);
            needSeparator = commaAllowed = true;
        }
    }
    scanner.take();
    if (scanner.peek() != '\0') {
        scanner.fail("text after ')'");
    }
}

namespace {

// The record under construction, with the skip that nX leaves pending.
class RecordEditor {
public:
    RecordEditor(std::string& out, std::vector<std::size_t>& recordEnds) : out_(out), recordEnds_(recordEnds) {}

    void addSkip(int count) { pendingSkip_ += count; }

    // Called before a text item or a data field: the pending skip becomes blanks.
    std::string& field() {
        out_.append(static_cast<std::size_t>(pendingSkip_), ' ');
        pendingSkip_ = 0;
        return out_;
    }

    // A skip still pending at the end of a record is dropped.
    void endRecord() {
        pendingSkip_ = 0;
        out_ += kRecordTerminator;
        recordEnds_.push_back(out_.size());
    }

private:
    std::string& out_;
    std::vector<std::size_t>& recordEnds_;
    int pendingSkip_ = 0;
};

void appendCharacterField(std::string& out, std::string_view text, const FormatItem& item) {
    if (!item.hasWidth) {
        out += text;
        return;
    }
    const std::size_t width = static_cast<std::size_t>(item.width);
    if (width > text.size()) {
        out.append(width - text.size(), ' ');
        out += text;
    } else {
        out += text.substr(0, width);
    }
}

// The value of a data item; the program always hands the kind the item edits.
template <typename T>
const T& valueFor(const FormatValue& value) {
    assert(std::holds_alternative<T>(value) && "a value of the kind its data item edits");
    return *std::get_if<T>(&value);
}

}  // namespace

void editStatement(const Format& format, std::span<const FormatValue> values, std::string& out,
                   std::vector<std::size_t>& recordEnds) {
    RecordEditor record(out, recordEnds);
    std::size_t next = 0;
    for (const FormatItem& item : format.items()) {
        if (item.isData() && next == values.size()) {
            break;  // the values are used up: the statement is complete
        }
        switch (item.kind) {
            case ItemKind::skip:
                record.addSkip(item.width);
                break;
            case ItemKind::newRecord:
                record.endRecord();
                break;
            case ItemKind::literal:
                record.field() += item.text;
                break;
            case ItemKind::integer:
                appendIntegerField(record.field(), valueFor<std::int32_t>(values[next++]), item.width);
                break;
            case ItemKind::fixed:
                appendFixedField(record.field(), valueFor<double>(values[next++]), item.width,
                                 item.decimals);
                break;
            case ItemKind::character:
                appendCharacterField(record.field(), valueFor<std::string_view>(values[next++]), item);
                break;
        }
    }
    assert(next == values.size() && "no more values than data items");
    record.endRecord();
}

}  // namespace kvw::textio
