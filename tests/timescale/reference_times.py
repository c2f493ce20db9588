#!/usr/bin/python3
"""Makes reference_times.csv, the reference values of the time-scale tests, with astropy.

For UTC Julian dates from 1960 to 2040 (a few chosen ones, the others drawn at random with a fixed seed)
and star positions spread over the sky, astropy gives the BJD_TDB and the HJD_UTC of the instant, seen from
the Earth's centre: TDB from Time(...).tdb, plus Time.light_travel_time(star, 'barycentric' or
'heliocentric', location at the geocentre). The file holds the Julian date exactly as the test reads it
(the shortest text of the double) and both corrections, BJD_TDB - JD_UTC and HJD_UTC - JD_UTC, in seconds.

astropy works offline here: no IERS table is downloaded (at the geocentre only the leap seconds matter, and
those come with ERFA). Needs Debian's python3-astropy:

    /usr/bin/python3 tests/timescale/reference_times.py > tests/timescale/reference_times.csv
"""
import warnings

import numpy as np
from astropy.utils import iers

iers.conf.auto_download = False
iers.conf.auto_max_age = None
iers.conf.iers_degraded_accuracy = "ignore"

import astropy.units as u  # noqa: E402
from astropy.coordinates import EarthLocation, SkyCoord  # noqa: E402
from astropy.time import Time  # noqa: E402

RANDOM_CASES = 1000

# Dates chosen by hand: the start of UTC, the drift years before 1972, around two leap seconds, and recent
# ground-based and TESS observations.
CHOSEN = [
    (2436934.501, 0.0, 0.0),          # 1960 January 1, 00:01:26
    (2440000.25, 303.0, 36.5),        # 1968, TAI - UTC still drifting
    (2441317.5, 180.0, -89.9),        # 1972 January 1.0: whole leap seconds begin
    (2457753.999, 83.82, -5.39),      # the last minutes of 2016 December 31, a day of 86401 s
    (2457754.5, 0.0, 90.0),           # 2017 January 1.0, just after that leap second
    (2458849.123456, 279.23, 38.78),  # 2020, Vega
    (2461251.37639, 303.0, 36.5),     # 2026-07-29 21:02 UTC, V456 Cyg
]


def cases():
    rng = np.random.default_rng(20240519)
    jd = list(np.round(rng.uniform(2436934.5, 2466154.5, RANDOM_CASES), 6))
    ra = list(rng.uniform(0.0, 360.0, RANDOM_CASES))
    dec = list(np.degrees(np.arcsin(rng.uniform(-1.0, 1.0, RANDOM_CASES))))
    chosen = [list(column) for column in zip(*CHOSEN)]
    return (np.array(chosen[0] + jd), np.array(chosen[1] + ra), np.array(chosen[2] + dec))


def main():
    jd, ra, dec = cases()
    whole = np.floor(jd)
    t = Time(whole, jd - whole, format="jd", scale="utc")  # both parts exact: the very double of the file
    geocentre = EarthLocation.from_geocentric(0 * u.m, 0 * u.m, 0 * u.m)
    star = SkyCoord(ra * u.deg, dec * u.deg, frame="icrs")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # leap-second expiry, polar motion beyond the bundled IERS table
        tdb = Time(t, location=geocentre).tdb
        barycentric = t.light_travel_time(star, "barycentric", location=geocentre).to_value(u.s)
        heliocentric = t.light_travel_time(star, "heliocentric", location=geocentre).to_value(u.s)
    # TDB - UTC as numbers of days, from the exact two-part dates, in seconds.
    tdb_minus_utc = ((tdb.jd1 - whole) + (tdb.jd2 - (jd - whole))) * 86400.0
    print("# jd_utc,ra_deg,dec_deg,bjd_tdb_minus_jd_utc_s,hjd_utc_minus_jd_utc_s")
    print("# made by reference_times.py with astropy " + __import__("astropy").__version__)
    for i in range(len(jd)):
        print(f"{jd[i]!r},{ra[i]!r},{dec[i]!r},{tdb_minus_utc[i] + barycentric[i]:.9f},{heliocentric[i]:.9f}")


if __name__ == "__main__":
    main()
