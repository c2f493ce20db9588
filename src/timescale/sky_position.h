// The star's position as observers write it: decimal degrees or sexagesimal,
// in the ICRS (J2000 catalogue positions are close enough: the light time
// moves by at most 2.4 ms per arcsecond of error in the position).
#pragma once

#include <string>
#include <string_view>

namespace kvw::timescale {

// Right ascension and declination in degrees, ICRS.
struct SkyPosition {
    double rightAscension = 0;  // 0 <= value < 360
    double declination = 0;     // -90 <= value <= 90

    bool operator==(const SkyPosition&) const = default;
};

// An angle read from a text: `problem` is empty when it was read, else says
// what is wrong ("out of range: from 0 to 24 hours").
struct AngleReading {
    double degrees = 0;
    std::string problem;
};

// Takes a right ascension as decimal degrees ("303.0", 0 <= a < 360) or as
// sexagesimal hours: "20:12:00", "20 12 00", "20h12m00s", the last part with
// an optional fraction ("20:12:00.5", "20:12.5"). Returns it in degrees,
// rounded once from a 64-bit significand. A decimal number is always degrees.
AngleReading readRightAscension(std::string_view text);

// Takes a declination as decimal degrees ("-5.25", -90 <= d <= 90) or as
// sexagesimal degrees with an optional sign: "+36:30:00", "-00 30 00",
// "+36d30m00s". Returns it in degrees.
AngleReading readDeclination(std::string_view text);

// What is wrong with a position given as two numbers of degrees (a FITS
// header's RA_OBJ and DEC_OBJ), or an empty text when it is a position.
std::string positionProblem(double rightAscension, double declination);

// The angle between two positions on the sky, in degrees (eraSeps).
double separation(const SkyPosition& a, const SkyPosition& b);

}  // namespace kvw::timescale
