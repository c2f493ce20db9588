// Extended-precision evaluation: every formula of the method is evaluated with
// a 64-bit significand and rounded to double when its result is stored.
#pragma once

#include <limits>

namespace kvw::linalg {

static_assert(std::numeric_limits<long double>::digits == 64,
              "the method needs long double to be the x87 80-bit type (64-bit significand)");

using Extended = long double;

// Rounds an extended result to the double it is stored as.
inline double store(Extended value) {
    return static_cast<double>(value);
}

}  // namespace kvw::linalg
