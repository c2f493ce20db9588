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
#include <system_error>
#include <thread>

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

enum class Centre { barycentre, sun };

// Takes TDB and the star's position; returns the light time in seconds from
// the Earth's centre to the chosen centre along the star's direction: the
// position (au) from eraEpv00 dotted with the unit vector from eraS2c, times
// au/c.
double lightTime(const TwoPartDate& tdb, const SkyPosition& star, Centre centre) {
    double heliocentric[2][3] = {};
    double barycentric[2][3] = {};
    eraEpv00(tdb.whole, tdb.fraction, heliocentric, barycentric);
    double direction[3] = {};
    eraS2c(star.rightAscension * ERFA_DD2R, star.declination * ERFA_DD2R, direction);
    return eraPdp(centre == Centre::barycentre ? barycentric[0] : heliocentric[0], direction) * ERFA_AULT;
}

// The x for which forward(x) = target, from the guess x = target - offset,
// for a forward map whose rate differs from 1 by less than 1e-4: each step
// shrinks the error by that factor, so a step smaller than 1e-9 days leaves
// less than 1e-13 days (10 ns). The map is taken at 1960 for a guess before
// it; an answer before 1960 is refused.
template <typename Forward>
Extended inverse(Extended target, Forward forward, Extended offset = 0) {
    if (!(target >= kFirstUtcDate - 1 && target < kLastEphemerisDate + 1)) {
        tdbOfUtc(target);  // refuses it, naming the date given
    }
    Extended x = target - offset;
    for (int step = 0; step < 8; ++step) {
        const Extended correction = target - forward(std::max(x, static_cast<Extended>(kFirstUtcDate)));
        x += correction;
        if (std::fabs(correction) < 1e-9L) {
            break;
        }
    }
    if (x < kFirstUtcDate) {
        tdbOfUtc(x);
    }
    return x;
}

// The JD_UTC of a time in `scale`; `offset` is a guess of time - JD_UTC.
Extended utcOf(Extended time, TimeScale scale, const SkyPosition& star, Extended offset = 0) {
    switch (scale) {
        case TimeScale::jdUtc: return time;
        case TimeScale::hjdUtc: return inverse(time, [&](Extended x) { return hjdUtcFromJdUtc(x, star); }, offset);
        case TimeScale::bjdTdb: return inverse(time, [&](Extended x) { return bjdTdbFromJdUtc(x, star); }, offset);
        case TimeScale::unknown: break;
    }
    throw TimeScaleError("times of an unknown scale cannot be converted");
}

Extended fromUtc(Extended jdUtc, TimeScale scale, const SkyPosition& star) {
    switch (scale) {
        case TimeScale::jdUtc: return jdUtc;
        case TimeScale::hjdUtc: return hjdUtcFromJdUtc(jdUtc, star);
        case TimeScale::bjdTdb: return bjdTdbFromJdUtc(jdUtc, star);
        case TimeScale::unknown: break;
    }
    throw TimeScaleError("times cannot be converted to an unknown scale");
}

// Runs `work` on `count` threads, this one included; fewer when the system
// gives no more.
template <typename Work>
void runOnThreads(const Work& work, std::size_t count) {
    std::vector<std::thread> workers;
    for (std::size_t i = 1; i < count; ++i) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
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
    const TwoPartDate tdb = tdbOfUtc(jdUtc);
    return static_cast<Extended>(tdb.whole) + static_cast<Extended>(tdb.fraction) +
           static_cast<Extended>(lightTime(tdb, star, Centre::barycentre)) / ERFA_DAYSEC;
}

long double hjdUtcFromJdUtc(long double jdUtc, const SkyPosition& star) {
    const TwoPartDate tdb = tdbOfUtc(jdUtc);
    return jdUtc + static_cast<Extended>(lightTime(tdb, star, Centre::sun)) / ERFA_DAYSEC;
}

long double jdUtcFromBjdTdb(long double bjdTdb, const SkyPosition& star) {
    return utcOf(bjdTdb, TimeScale::bjdTdb, star);
}

long double jdUtcFromHjdUtc(long double hjdUtc, const SkyPosition& star) {
    return utcOf(hjdUtc, TimeScale::hjdUtc, star);
}

long double convertTime(long double time, TimeScale from, TimeScale to, const SkyPosition& star) {
    if (from == to && from != TimeScale::unknown) {
        return time;
    }
    return fromUtc(utcOf(time, from, star), to, star);
}

ConvertedTimes convertTimes(const std::vector<double>& times, TimeScale from, TimeScale to,
                            const SkyPosition& star, unsigned threads) {
    ConvertedTimes result;
    if (from == to && from != TimeScale::unknown) {
        result.times = times;
        return result;
    }
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
                Extended offset = 0;  // of the time before: the next one's guess
                for (std::size_t i = block * kBlock; i < std::min(times.size(), (block + 1) * kBlock); ++i) {
                    const Extended jdUtc = utcOf(times[i], from, star, offset);
                    offset = times[i] - jdUtc;
                    countsPast[block] += jdUtc >= firstDatePast ? 1 : 0;
                    result.times[i] = linalg::store(fromUtc(jdUtc, to, star));
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
    const std::size_t countPast = std::accumulate(countsPast.begin(), countsPast.end(), std::size_t{0});
    if (countPast > 0) {
        double offset = 0;
        eraDat(lastYear + 1, 1, 1, 0.0, &offset);
        result.note = std::to_string(countPast) + (countPast == 1 ? " time falls" : " times fall") + " after " +
                      std::to_string(lastYear) + ", past the table of leap seconds ERFA was built with: TAI - UTC = " +
                      shortest(offset) + " s, its last value, is used (a leap second announced since would move " +
                      "them by a second)";
    }
    return result;
}

}  // namespace kvw::timescale
