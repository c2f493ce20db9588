// Fields and write statements as strings, for comparing with expected text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "textio/format.h"
#include "textio/numeric_fields.h"

namespace kvw::testing {

inline std::string integerField(std::int32_t value, int width) {
    std::string out;
    textio::appendIntegerField(out, value, width);
    return out;
}

inline std::string fixedField(double value, int width, int decimals) {
    std::string out;
    textio::appendFixedField(out, value, width, decimals);
    return out;
}

inline std::string editStatement(const textio::Format& format, std::span<const textio::FormatValue> values) {
    std::string out;
    std::vector<std::size_t> recordEnds;
    textio::editStatement(format, values, out, recordEnds);
    return out;
}

}  // namespace kvw::testing
