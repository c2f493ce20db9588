// Numeric fields and formats: a double and a field shape edited under Fw.d,
// an integer under Iw, and the rest of the bytes as a format text.

#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "support/fields.h"
#include "textio/format.h"
#include "textio/numeric_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kvw::textio;
    if (size < 14) {
        return 0;
    }
    double value;
    std::memcpy(&value, data, sizeof value);
    std::int32_t integer;
    std::memcpy(&integer, data + 8, sizeof integer);
    const int width = data[12] % 40;
    const int decimals = data[13] % 30;

    const std::string fixed = kvw::testing::fixedField(value, width, decimals);
    if (static_cast<int>(fixed.size()) != width) {
        __builtin_trap();
    }
    if (std::isfinite(value) && fixed.find('*') == std::string::npos && decimals > 0 && width > 0) {
        // A field that fits reads back within half a unit of its last place.
        const double back = std::strtod(fixed.c_str(), nullptr);
        const double unit = std::pow(10.0, -decimals);
        if (!(std::fabs(back - value) <= 0.5 * unit * (1 + 1e-9) + std::fabs(value) * 1e-15)) {
            __builtin_trap();
        }
    }
    const std::string integral = kvw::testing::integerField(integer, width);
    if (static_cast<int>(integral.size()) != width) {
        __builtin_trap();
    }

    try {
        const Format format(std::string_view(reinterpret_cast<const char*>(data) + 14, size - 14));
        std::vector<FormatValue> values;
        for (const FormatItem& item : format.items()) {
            if (item.kind == ItemKind::integer) {
                values.emplace_back(integer);
            } else if (item.kind == ItemKind::fixed) {
                values.emplace_back(value);
            } else if (item.kind == ItemKind::character) {
                values.emplace_back(std::string_view("text"));
            }
        }
        const std::string records = kvw::testing::editStatement(format, values);
        if (records.size() < 2 || records.compare(records.size() - 2, 2, "\r\n") != 0) {
            __builtin_trap();
        }
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
