// A number as the timing's messages write it: ten significant digits.
#pragma once

#include <cstdio>
#include <string>

namespace kvw::timing::detail {

inline std::string numberText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

}  // namespace kvw::timing::detail
