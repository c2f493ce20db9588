// Fixed-width numeric fields: Iw for 32-bit integers and Fw.d for doubles.
// Pure functions: a value in, the w characters of its field out.
#pragma once

#include <cstdint>
#include <string>

namespace kvw::textio {

// Iw: right-aligned digits with "-" for a negative value; w asterisks when the
// value needs more than w positions.
void appendIntegerField(std::string& out, std::int32_t value, int width);

// Fw.d: the magnitude correctly rounded to 23 significant digits, then rounded
// half away from zero at the field's last digit; a zero result keeps the sign
// of the value; w asterisks when it does not fit; Infinity, Inf and NaN texts
// for values that are not finite.
void appendFixedField(std::string& out, double value, int width, int decimals);

}  // namespace kvw::textio
