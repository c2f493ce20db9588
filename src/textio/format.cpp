#include "textio/format.h"

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

}  // namespace

Format::Format(std::string_view text) : text_(text) {
    FormatScanner scanner(text);
    if (scanner.take() != '(') {
        scanner.fail("'(' expected");
    }
    bool needSeparator = false;  // an item was read and no comma or slash followed yet
    bool commaAllowed = false;   // after an item or a slash
    for (;;) {
        const char c = scanner.peek();
        if (c == ')') {
            scanner.take();
            break;
        }
        if (c == '\0') {
            scanner.fail("')' expected");
        }
        if (c == ',') {
            if (!commaAllowed) {
                scanner.fail("an item expected before ','");
            }
            scanner.take();
            needSeparator = false;
            commaAllowed = false;
            continue;
        }
        if (c == '/') {
            scanner.take();
            items_.push_back(makeItem(ItemKind::newRecord));
            needSeparator = false;
            commaAllowed = true;
            continue;
        }
        if (needSeparator) {
            scanner.fail("',' expected between items");
        }
        if (c == '\'') {
            scanner.take();
            FormatItem item = makeItem(ItemKind::literal);
            item.text = scanner.quoted();
            items_.push_back(std::move(item));
            needSeparator = commaAllowed = true;
            continue;
        }
        int count = 1;
        bool counted = false;
        if (scanner.atDigit()) {
            count = scanner.number();
            counted = true;
        }
        const char letter = scanner.take();
        FormatItem item = makeItem(ItemKind::integer);
        switch (letter) {
            case 'X':
                if (!counted) {
                    scanner.fail("X needs a count");
                }
                items_.push_back(makeItem(ItemKind::skip, count));
                needSeparator = commaAllowed = true;
                continue;
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
        for (int i = 0; i < count; ++i) {
            items_.push_back(item);
        }
        needSeparator = commaAllowed = true;
    }
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

template <typename T>
const T& valueFor(const FormatValue& value, const Format& format) {
    if (const T* held = std::get_if<T>(&value)) {
        return *held;
    }
    throw std::invalid_argument("format " + std::string(format.text()) + ": a value of the wrong kind");
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
                appendIntegerField(record.field(), valueFor<std::int32_t>(values[next++], format), item.width);
                break;
            case ItemKind::fixed:
                appendFixedField(record.field(), valueFor<double>(values[next++], format), item.width,
                                 item.decimals);
                break;
            case ItemKind::character:
                appendCharacterField(record.field(), valueFor<std::string_view>(values[next++], format), item);
                break;
        }
    }
    if (next != values.size()) {
        throw std::invalid_argument("format " + std::string(format.text()) + ": more values than data items");
    }
    record.endRecord();
}

std::string editStatement(const Format& format, std::span<const FormatValue> values) {
    std::string out;
    std::vector<std::size_t> recordEnds;
    editStatement(format, values, out, recordEnds);
    return out;
}

}  // namespace kvw::textio
