#include "textio/free_format.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>

#include "detail/text_bytes.h"

namespace kvw::textio {

namespace {

using detail::readByte;
using detail::skipPastLineFeed;

// Enough significant digits to round any decimal text correctly: the digits
// after them only matter through whether any of them is non-zero.
constexpr std::size_t kKeptDigits = 800;
constexpr std::int64_t kExponentLimit = 1'000'000'000;

bool isBlank(int c) { return c == ' ' || c == '\t'; }
bool isLineEnd(int c) { return c == '\n' || c == '\r'; }
bool isSeparator(int c) { return c == ',' || c == ';' || c == '/' || isLineEnd(c); }
bool endsValue(int c) { return isSeparator(c) || isBlank(c); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
int lower(int c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

// The statement met the end of the file where no made-up line end remained.
struct EndOfFileMet {};

// The text of a real number as it is read, kept to a bounded size.
class DecimalText {
public:
    void addDigit(int c, bool afterPoint) {
        if (digits_.empty() && c == '0') {
            if (afterPoint) {
                --exponent_;
            }
            return;
        }
        if (!afterPoint) {
            ++exponent_;
        }
        if (digits_.size() < kKeptDigits) {
            digits_ += static_cast<char>(c);
        } else if (c != '0') {
            sticky_ = true;
        }
    }
    void addExponentDigit(int c) {
        if (exponentDigits_ < kExponentLimit) {
            exponentDigits_ = exponentDigits_ * 10 + (c - '0');
        }
    }
    void setExponentNegative() { exponentNegative_ = true; }

    // The nearest double, an infinity of the sign when too large, zero or a
    // subnormal number when too small.
    double value(bool negative) const {
        if (digits_.empty()) {
            return negative ? -0.0 : 0.0;
        }
        const std::int64_t scale =
            exponent_ + (exponentNegative_ ? -exponentDigits_ : exponentDigits_);
        const std::int64_t bounded = std::max<std::int64_t>(-kExponentLimit, std::min(scale, kExponentLimit));
        std::string text = "0.";
        text += digits_;
        if (sticky_) {
            text += '1';
        }
        text += 'e';
        text += std::to_string(bounded);
        const double magnitude = std::strtod(text.c_str(), nullptr);
        return negative ? -magnitude : magnitude;
    }

private:
    std::string digits_;           // significant digits, the first non-zero
    std::int64_t exponent_ = 0;    // value = 0.digits x 10^(exponent + written exponent)
    bool sticky_ = false;          // a non-zero digit beyond the kept ones
    std::int64_t exponentDigits_ = 0;
    bool exponentNegative_ = false;
};

class FreeFormatReader {
public:
    FreeFormatReader(TextConnection& connection, SourceLocation where)
        : connection_(connection), where_(where) {}

    ReadResult read(std::span<double> targets, std::span<ItemOutcome> outcomes);

private:
    enum class ValueKind { number, null, nullRepeat };

    int take();
    void pushBack(int c) { state_.pushback = c; }
    int skipBlanksAndTake();
    void consumeSeparator();
    void consumeTakenSeparator(int c);
    void skipToNextValue();
    ItemOutcome readItem(double& target);
    ValueKind readValue(double& target);
    std::int32_t repeatCount(std::int64_t leading);
    double readSpecialValue(int& c, bool negative);
    double readNumber(int& c, DecimalText& decimal, bool anyLeadingDigit, bool negative);
    ItemOutcome applyRepeat(double& target);
    [[noreturn]] void badValue();
    [[noreturn]] void fail(const char* text);

    TextConnection& connection_;
    SourceLocation where_;
    FreeFormatState state_;
};

int FreeFormatReader::take() {
    int c;
    if (state_.pushback >= 0) {
        c = state_.pushback;
        state_.pushback = -1;
    } else {
        c = readByte(connection_, where_);
        if (c < 0) {
            // The end of the file looks once like the end of a line.
            if (connection_.endState == EndState::atEnd) {
                connection_.endState = EndState::pastEnd;
                throw EndOfFileMet{};
            }
            connection_.endState = EndState::atEnd;
            c = '\n';
        }
    }
    state_.atLineEnd = isLineEnd(c);
    return c;
}

int FreeFormatReader::skipBlanksAndTake() {
    int c;
    do {
        c = take();
    } while (isBlank(c));
    return c;
}

void FreeFormatReader::consumeSeparator() {
    consumeTakenSeparator(skipBlanksAndTake());
}

// One separator whose first character has been taken, blanks before it skipped.
void FreeFormatReader::consumeTakenSeparator(int c) {
    state_.commaSeen = false;
    switch (c) {
        case ',':
        case ';':
            state_.commaSeen = true;
            pushBack(skipBlanksAndTake());
            break;
        case '/':
            state_.inputComplete = true;
            break;
        case '\n':
            break;
        case '\r': {
            const int next = take();
            if (next != '\n') {
                pushBack(next);
            }
            break;
        }
        default:
            pushBack(c);
    }
}

// After a line end: pass over blank lines, and over one comma that does not
// follow another separator, to the text of the next value.
void FreeFormatReader::skipToNextValue() {
    for (;;) {
        const int c = skipBlanksAndTake();
        if (isLineEnd(c)) {
            continue;
        }
        if (c == ',' && !state_.commaSeen) {
            const int after = skipBlanksAndTake();
            if (isLineEnd(after)) {
                continue;
            }
            pushBack(after);
            return;
        }
        if (c == '/') {
            state_.inputComplete = true;  // the item, and all after it, stay null
            return;
        }
        pushBack(c);
        return;
    }
}

void FreeFormatReader::fail(const char* text) {
    raiseFailure(connection_.site(where_),
                 std::string(text) + " in item " + std::to_string(state_.itemNumber) + " of list input");
}

void FreeFormatReader::badValue() {
    // The rest of the line goes with the bad value. A line end already taken
    // and pushed back has ended the line: nothing more is skipped.
    const int pending = std::exchange(state_.pushback, -1);
    if (pending != '\n') {
        skipPastLineFeed(connection_, where_);
    }
    fail("Bad real number");
}

ItemOutcome FreeFormatReader::applyRepeat(double& target) {
    --state_.repeatCount;
    if (state_.savedIsNull) {
        return ItemOutcome::null;
    }
    target = state_.savedValue;
    return ItemOutcome::assigned;
}

// One value: an optional repeat count, then a real number, a special value,
// or nothing (a null value).
FreeFormatReader::ValueKind FreeFormatReader::readValue(double& target) {
    int c = skipBlanksAndTake();
    if (isSeparator(c)) {
        consumeTakenSeparator(c);
        return ValueKind::null;
    }

    // Leading digits: a repeat count when an asterisk follows them, else the
    // start of the number.
    DecimalText decimal;
    std::int64_t leading = 0;
    bool anyLeadingDigit = false;
    while (isDigit(c)) {
        anyLeadingDigit = true;
        if (leading <= kLargestRepeatCount) {
            leading = leading * 10 + (c - '0');
        }
        decimal.addDigit(c, false);
        c = take();
    }
    std::int32_t repeat = 1;
    if (c == '*') {
        if (!anyLeadingDigit) {
            badValue();
        }
        repeat = repeatCount(leading);
        decimal = DecimalText();
        anyLeadingDigit = false;
        c = take();
        if (endsValue(c)) {
            // r* followed by a separator: r null values.
            pushBack(c);
            state_.repeatCount = repeat - 1;
            state_.savedIsNull = true;
            return ValueKind::nullRepeat;
        }
    }

    bool negative = false;
    if (!anyLeadingDigit && (c == '+' || c == '-')) {
        negative = c == '-';
        c = take();
    }
    const double value = !anyLeadingDigit && (lower(c) == 'i' || lower(c) == 'n')
                             ? readSpecialValue(c, negative)
                             : readNumber(c, decimal, anyLeadingDigit, negative);
    pushBack(c);
    target = value;
    state_.repeatCount = repeat - 1;
    state_.savedValue = value;
    state_.savedIsNull = false;
    return ValueKind::number;
}

std::int32_t FreeFormatReader::repeatCount(std::int64_t leading) {
    if (leading == 0) {
        fail("Zero repeat count");
    }
    if (leading > kLargestRepeatCount) {
        fail("Repeat count overflow");
    }
    return static_cast<std::int32_t>(leading);
}

// INF, INFINITY or NAN in any case; `c` is its first letter and is left at
// the character after the word.
double FreeFormatReader::readSpecialValue(int& c, bool negative) {
    std::string word;
    while (!endsValue(c) && word.size() < 9) {
        word += static_cast<char>(lower(c));
        c = take();
    }
    if (!endsValue(c) || (word != "inf" && word != "infinity" && word != "nan")) {
        pushBack(c);
        badValue();
    }
    if (word == "nan") {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
}

// The rest of a number whose leading digits, if any, are in `decimal`: more
// digits, a point and its digits, an exponent with a letter or a sign alone.
// `c` is left at the character after the number, which must end the value.
double FreeFormatReader::readNumber(int& c, DecimalText& decimal, bool anyLeadingDigit, bool negative) {
    bool anyDigit = anyLeadingDigit;
    while (isDigit(c)) {
        anyDigit = true;
        decimal.addDigit(c, false);
        c = take();
    }
    if (c == '.') {
        c = take();
        while (isDigit(c)) {
            anyDigit = true;
            decimal.addDigit(c, true);
            c = take();
        }
    }
    if (!anyDigit) {
        pushBack(c);
        badValue();
    }
    const int letter = lower(c);
    if (letter == 'e' || letter == 'd' || c == '+' || c == '-') {
        if (letter == 'e' || letter == 'd') {
            c = take();
        }
        if (c == '+' || c == '-') {
            if (c == '-') {
                decimal.setExponentNegative();
            }
            c = take();
        }
        if (!isDigit(c)) {
            pushBack(c);
            badValue();
        }
        while (isDigit(c)) {
            decimal.addExponentDigit(c);
            c = take();
        }
    }
    if (!endsValue(c)) {
        pushBack(c);
        badValue();
    }
    return decimal.value(negative);
}

ItemOutcome FreeFormatReader::readItem(double& target) {
    if (state_.firstItem) {
        state_.firstItem = false;
        const int c = skipBlanksAndTake();
        if (isSeparator(c)) {
            const bool lineEnd = isLineEnd(c);
            consumeTakenSeparator(c);
            state_.repeatCount = 0;
            if (!lineEnd) {
                return ItemOutcome::null;
            }
            // Blank lines before the first value are passed over.
            skipToNextValue();
            if (state_.inputComplete) {
                return ItemOutcome::null;
            }
        } else {
            pushBack(c);
        }
    } else {
        if (state_.repeatCount > 0) {
            return applyRepeat(target);
        }
        if (state_.inputComplete) {
            return ItemOutcome::null;
        }
        if (state_.atLineEnd) {
            skipToNextValue();
        } else {
            const int c = skipBlanksAndTake();
            if (isLineEnd(c)) {
                skipToNextValue();
            } else {
                pushBack(c);
            }
        }
        if (state_.inputComplete) {
            return ItemOutcome::null;
        }
    }
    const ValueKind kind = readValue(target);
    if (kind != ValueKind::null) {
        consumeSeparator();  // one separator after each value; a null one consumed its own
    }
    return kind == ValueKind::number ? ItemOutcome::assigned : ItemOutcome::null;
}

ReadResult FreeFormatReader::read(std::span<double> targets, std::span<ItemOutcome> outcomes) {
    assert(outcomes.size() == targets.size());
    detail::checkReadable(connection_, where_);
    for (ItemOutcome& outcome : outcomes) {
        outcome = ItemOutcome::notReached;
    }
    try {
        for (std::size_t item = 0; item < targets.size(); ++item) {
            state_.itemNumber = static_cast<std::int32_t>(item + 1);
            outcomes[item] = readItem(targets[item]);
        }
    } catch (const EndOfFileMet&) {
        return ReadResult::endOfFile;
    }
    // The rest of the line after the last item is skipped, reading the file
    // directly: at the end of the file no line end is made up.
    if (!state_.atLineEnd) {
        if (!skipPastLineFeed(connection_, where_)) {
            connection_.endState = EndState::pastEnd;
            return ReadResult::endOfFile;
        }
    }
    return ReadResult::done;
}

}  // namespace

ReadResult readFreeFormatRecord(TextConnection& connection, std::span<double> targets,
                                std::span<ItemOutcome> outcomes, SourceLocation where) {
    FreeFormatReader reader(connection, where);
    return reader.read(targets, outcomes);
}

}  // namespace kvw::textio
