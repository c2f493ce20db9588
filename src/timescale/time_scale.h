// Time scales of the times of minimum observers publish, and conversions
// between them through ERFA (leap seconds, TT, TDB, the Earth's position).
//
// The scales:
//   JD_UTC   Julian date of the observation at the Earth, in UTC (ERFA's
//            "quasi-JD": a day with a leap second is 86401 s long);
//   HJD_UTC  JD_UTC plus the light time from the Earth to the Sun's centre,
//            projected on the direction of the star;
//   BJD_TDB  the Julian date in TDB plus the light time from the Earth to the
//            solar system's barycentre, projected on the direction of the star
//            (Eastman, Siverd & Gaudi 2010, PASP 122, 935), without
//            the Shapiro delay, as astropy's Time.light_travel_time leaves it
//            out).
//
// What every conversion assumes
// - The observer is at the Earth's centre. An observatory on the surface
//   changes the light time by up to the Earth's radius over c, 21.3 ms, and TDB
//   by up to 2 microseconds.
// - The star is infinitely far (a plane wave) at a fixed ICRS position.
// - TT = TAI + 32.184 s; TAI - UTC from ERFA's table of leap seconds (eraDat
//   through eraUtctai), which starts in 1960. A date past the last year the
//   table vouches for gets the table's last offset (and a note; see
//   ConvertedTimes). TDB - TT from eraDtdb at the geocentre (Fairhead and
//   Bretagnon 1990 series, a few nanoseconds).
// - The Earth's barycentric and heliocentric positions from eraEpv00, taken
//   at the TDB of the observation, in au (from 1900 to 2100 within 13.4 km,
//   RMS 4.6 km, of JPL's DE405 barycentric, within 11.2 km heliocentric: at
//   most 45 microseconds of light time, typically 15); the light time is
//   their projection on the star's unit vector (eraS2c) times au/c =
//   499.00478 s. Dates after 2100 are refused.
// - The sums of a date and its corrections are formed with a 64-bit
//   significand; ERFA's two-part dates keep the fraction of the day to a
//   nanosecond. Against astropy 5.2 (tests/timescale/reference_times.py,
//   which rests on the same ERFA routines) every conversion agrees within
//   0.04 microseconds at 1007 dates from 1960 to 2040 across the sky; the
//   double a time is stored in holds it to 20 microseconds.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "timescale/sky_position.h"

namespace kvw::timescale {

enum class TimeScale { unknown, jdUtc, hjdUtc, bjdTdb };

// "JD_UTC", "HJD_UTC", "BJD_TDB" or "unknown": the name in tables and messages.
std::string_view scaleName(TimeScale scale);

// A conversion that cannot be made: a UTC date before 1960, or a scale that
// is unknown. what() says which and why.
struct TimeScaleError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The first Julian date of UTC, 1960 January 1.0: ERFA's table of leap
// seconds starts there, and an earlier UTC date is a TimeScaleError.
inline constexpr double kFirstUtcDate = 2436934.5;

// The last year whose dates the table of leap seconds vouches for (a leap
// second announced after ERFA was built may shift later dates by a second).
int lastLeapSecondYear();

// Takes a Julian date in UTC (days) and the star's position; returns the
// BJD_TDB of the same instant (days). Derivation in the list above.
long double bjdTdbFromJdUtc(long double jdUtc, const SkyPosition& star);

// Takes a Julian date in UTC (days) and the star's position; returns the
// HJD_UTC (days): JD_UTC plus the light time to the Sun's centre.
long double hjdUtcFromJdUtc(long double jdUtc, const SkyPosition& star);

// Takes a time (days) in scale `from` and returns it in scale `to`, through
// JD_UTC; the identity when the scales are equal. A TimeScaleError when one of
// them is unknown or the instant's UTC date is before 1960.
long double convertTime(long double time, TimeScale from, TimeScale to, const SkyPosition& star);

// Many times converted, each rounded once to a double, on up to `threads`
// threads (blocks of 1024 times). Each time's first guess of its JD_UTC comes
// from the two times before it, so that one evaluation of ERFA mostly does;
// a result may then differ from convertTime's by 10 ns, a unit in the last
// place of the double at most. The order of the times given is kept: every
// conversion rises with its argument, and a time rounded below the one before
// it (equal times) is raised to it. `note` tells of times past the last
// year of the table of leap seconds. A TimeScaleError names the earliest time
// in the series that cannot be converted.
struct ConvertedTimes {
    std::vector<double> times;
    std::optional<std::string> note;
};

ConvertedTimes convertTimes(const std::vector<double>& times, TimeScale from, TimeScale to,
                            const SkyPosition& star, unsigned threads = 1);

}  // namespace kvw::timescale
