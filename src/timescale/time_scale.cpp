#include "timescale/time_scale.h"

#include <erfa.h>
#include <erfam.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <exception>
#include <numeric>

#include "base/worker_threads.h"
#include "linalg/extended.h"

namespace kvw::timescale {

namespace {

using linalg::Extended;

// The Earth's ephemeris of ERFA (eraEpv00) holds from 1900 to 2100.
constexpr double kLastEphemerisDate = 2488069.5;  // 2100 January 1.0

// A date as ERFA takes it: whole days plus a fraction, both exact.
struct TwoPartDate {
    double whole;
    double fraction;
};

TwoPartDate split(Extended date) {
    const Extended whole = std::floor(date);
    return {static_cast<double>(whole), static_cast<double>(date - whole)};
}

std::string shortest(double value) {
    std::array<char, 32> text{};
    const auto end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
    return std::string(text.data(), end);
}

// Takes a Julian date in UTC (days); returns the same instant in TDB as a
// two-part date: TAI = UTC + (TAI - UTC) from the table of leap seconds
// (eraUtctai), TT = TAI + 32.184 s (eraTaitt), TDB = TT + eraDtdb at the
// geocentre. Refuses dates before 1960 and after 2100.
TwoPartDate tdbOfUtc(Extended jdUtc) {
    if (!(jdUtc >= kFirstUtcDate)) {
        throw TimeScaleError("the date JD " + shortest(linalg::store(jdUtc)) +
                             " falls before 1960 (UTC), where ERFA's table of leap seconds begins" +
                             (jdUtc < 2400000.5L ? " (a Julian date in full, near 2450000, was expected)" : ""));
    }
    if (jdUtc >= kLastEphemerisDate) {
        throw TimeScaleError("the date JD " + shortest(linalg::store(jdUtc)) +
                             " falls after 2100, where ERFA's ephemeris of the Earth ends");
    }
    const TwoPartDate utc = split(jdUtc);
    double tai[2] = {};
    double tt[2] = {};
    eraUtctai(utc.whole, utc.fraction, &tai[0], &tai[1]);  // status 1 (past the table): its last offset
    eraTaitt(tai[0], tai[1], &tt[0], &tt[1]);
    const double tdbMinusTt = eraDtdb(tt[0], tt[1], 0.0, 0.0, 0.0, 0.0);
    return {tt[0], tt[1] + tdbMinusTt / ERFA_DAYSEC};
}

// What ERFA gives for one UTC instant seen from the Earth's centre: its TDB
// and the light times (seconds) to the solar system's barycentre and to the
// Sun's centre along the star's direction.
struct Instant {
    Extended jdUtc;  // the instant
    TwoPartDate tdb;
    double toBarycentre;
    double toSun;
};

// Takes a Julian date in UTC and the star's position; returns its Instant:
// TDB by tdbOfUtc, the Earth's barycentric and heliocentric positions (au) at
// that TDB from eraEpv00, each dotted with the star's unit vector (eraS2c) and
// times au/c.
Instant instantOf(Extended jdUtc, const SkyPosition& star) {
    const TwoPartDate tdb = tdbOfUtc(jdUtc);
    double heliocentric[2][3] = {};
    double barycentric[2][3] = {};
    eraEpv00(tdb.whole, tdb.fraction, heliocentric, barycentric);
    double direction[3] = {};
    eraS2c(star.rightAscension * ERFA_DD2R, star.declination * ERFA_DD2R, direction);
    return {jdUtc, tdb, eraPdp(barycentric[0], direction) * ERFA_AULT,
            eraPdp(heliocentric[0], direction) * ERFA_AULT};
}

// The time (days) in `scale` of the instant `jdUtc`, from the Instant taken
// at or near it (TDB moved by the difference of the two; the light times,
// which change by less than 1e-4 of it, kept); the sums with a 64-bit
// significand.
Extended timeIn(TimeScale scale, Extended jdUtc, const Instant& instant) {
    switch (scale) {
        case TimeScale::jdUtc: return jdUtc;
        case TimeScale::hjdUtc: return jdUtc + static_cast<Extended>(instant.toSun) / ERFA_DAYSEC;
        case TimeScale::bjdTdb:
            return static_cast<Extended>(instant.tdb.whole) + static_cast<Extended>(instant.tdb.fraction) +
                   (jdUtc - instant.jdUtc) + static_cast<Extended>(instant.toBarycentre) / ERFA_DAYSEC;
        case TimeScale::unknown: break;
    }
    throw TimeScaleError("times of an unknown scale cannot be converted");
}

// An instant found from its time in some scale: its JD_UTC, and its Instant
// taken within 1e-9 days of that date (the light times move by less than
// 1e-4 of that, 10 ns; timeIn moves TDB by the difference).
struct Solved {
    Extended jdUtc;
    Instant instant;
};

// The instant whose time in `scale` is `time`, by fixed-point iteration from
// the guess `jdUtc`: the time's rate differs from 1 by less than 1e-4, so each
// step shrinks the error by that factor, and a step under 1e-9 days leaves
// less than 1e-13. The instant is taken at 1960 for a guess before it; an
// answer before 1960 is refused.
Solved solve(Extended time, TimeScale scale, const SkyPosition& star, Extended jdUtc) {
    if (scale == TimeScale::jdUtc) {
        return {time, instantOf(time, star)};
    }
    if (!(time >= kFirstUtcDate - 1 && time < kLastEphemerisDate + 1)) {
        tdbOfUtc(time);  // refuses it, naming the date given
    }
    Solved solved{jdUtc, {}};
    for (int step = 0; step < 8; ++step) {
        solved.instant = instantOf(std::max(solved.jdUtc, static_cast<Extended>(kFirstUtcDate)), star);
        const Extended correction = time - timeIn(scale, solved.jdUtc, solved.instant);
        solved.jdUtc += correction;
        if (std::fabs(correction) < 1e-9L) {
            break;
        }
    }
    if (solved.jdUtc < kFirstUtcDate) {
        tdbOfUtc(solved.jdUtc);
    }
    return solved;
}

void requireKnown(TimeScale from, TimeScale to) {
    if (from == TimeScale::unknown || to == TimeScale::unknown) {
        throw TimeScaleError("times of an unknown scale cannot be converted");
    }
}

// Times converted from different guesses may round a unit in the last place
// apart (equal times among them): the order of the times given holds.
void keepOrder(const std::vector<double>& times, std::vector<double>& converted) {
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i] >= times[i - 1] && converted[i] < converted[i - 1]) {
            converted[i] = converted[i - 1];
        }
    }
}

std::string pastTheTableNote(std::size_t count, int lastYear) {
    double offset = 0;
    eraDat(lastYear + 1, 1, 1, 0.0, &offset);
    return std::to_string(count) + (count == 1 ? " time falls" : " times fall") + " after " +
           std::to_string(lastYear) + ", past the table of leap seconds ERFA was built with: TAI - UTC = " +
           shortest(offset) + " s, its last value, is used (a leap second announced since would move them by a " +
           "second)";
}

}  // namespace

std::string_view scaleName(TimeScale scale) {
    switch (scale) {
        case TimeScale::jdUtc: return "JD_UTC";
        case TimeScale::hjdUtc: return "HJD_UTC";
        case TimeScale::bjdTdb: return "BJD_TDB";
        case TimeScale::unknown: break;
    }
    return "unknown";
}

int lastLeapSecondYear() {
    static const int year = [] {
        int last = 1960;
        double offset = 0;
        while (eraDat(last + 1, 1, 1, 0.0, &offset) == 0) {
            ++last;
        }
        return last;
    }();
    return year;
}

long double bjdTdbFromJdUtc(long double jdUtc, const SkyPosition& star) {
    return timeIn(TimeScale::bjdTdb, jdUtc, instantOf(jdUtc, star));
}

long double hjdUtcFromJdUtc(long double jdUtc, const SkyPosition& star) {
    return timeIn(TimeScale::hjdUtc, jdUtc, instantOf(jdUtc, star));
}

long double convertTime(long double time, TimeScale from, TimeScale to, const SkyPosition& star) {
    if (from == to && from != TimeScale::unknown) {
        return time;
    }
    requireKnown(from, to);
    const Solved solved = solve(time, from, star, time);
    return timeIn(to, solved.jdUtc, solved.instant);
}

ConvertedTimes convertTimes(const std::vector<double>& times, TimeScale from, TimeScale to,
                            const SkyPosition& star, unsigned threads) {
    ConvertedTimes result;
    if (from == to && from != TimeScale::unknown) {
        result.times = times;
        return result;
    }
    requireKnown(from, to);
    const int lastYear = lastLeapSecondYear();  // before any thread: ERFA fills its table on first use
    double firstDayPast[2] = {};
    eraCal2jd(lastYear + 1, 1, 1, &firstDayPast[0], &firstDayPast[1]);
    const Extended firstDatePast = static_cast<Extended>(firstDayPast[0]) + firstDayPast[1];

    // Blocks of times, each taken by the next free thread; a failure is kept
    // with its block, so that the earliest time's is reported.
    constexpr std::size_t kBlock = 1024;
    const std::size_t blocks = (times.size() + kBlock - 1) / kBlock;
    result.times.resize(times.size());
    std::vector<std::size_t> countsPast(blocks, 0);
    std::vector<std::exception_ptr> failures(blocks);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t block = next++; block < blocks; block = next++) {
            try {
                // The offsets time - JD_UTC of the two times before, extrapolated: the next one's guess.
                Extended offsets[2] = {0, 0};
                for (std::size_t i = block * kBlock; i < std::min(times.size(), (block + 1) * kBlock); ++i) {
                    const std::size_t known = i - block * kBlock;
                    const Extended guess = known == 0 ? 0 : known == 1 ? offsets[1] : 2 * offsets[1] - offsets[0];
                    const Solved solved = solve(times[i], from, star, times[i] - guess);
                    offsets[0] = offsets[1];
                    offsets[1] = times[i] - solved.jdUtc;
                    countsPast[block] += solved.jdUtc >= firstDatePast ? 1 : 0;
                    result.times[i] = linalg::store(timeIn(to, solved.jdUtc, solved.instant));
                }
            } catch (...) {
                failures[block] = std::current_exception();
            }
        }
    };
    runOnThreads(work, std::min<std::size_t>(std::max(threads, 1u), blocks));
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
    keepOrder(times, result.times);
    const std::size_t countPast = std::accumulate(countsPast.begin(), countsPast.end(), std::size_t{0});
    if (countPast > 0) {
        result.note = pastTheTableNote(countPast, lastYear);
    }
    return result;
}

}  // namespace kvw::timescale
