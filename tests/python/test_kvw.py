"""The package against kvw-minima: its tables, one eclipse in memory, astropy sources, bad arguments."""

import os
import warnings

import numpy as np
import pytest

import kvw
from conftest import CM_DRA, EXAMPLE, TESS, assert_frame_is_table, kvw_minima_rows


@pytest.mark.parametrize("path, options, words", [
    (EXAMPLE, {}, []),
    (TESS, CM_DRA, ["--period", "1.26839", "--epoch", "2458738.66072", "--half-width", "0.1", "--secondary"]),
    # Windows measured from the light curve; times put in HJD with the file's position.
    (TESS, {"period": 1.2683892363, "epoch": 2458739.9292706721, "secondary": 0.5, "time_out": "hjd",
            "flux_column": "PDCSAP_FLUX"},
     ["--period", "1.2683892363", "--epoch", "2458739.9292706721", "--secondary", "0.5", "--time-out", "hjd",
      "--flux-column", "PDCSAP_FLUX"]),
    (EXAMPLE, {"time_scale": "jd", "ra": "20:12:00", "dec": "+36:30:00"},
     ["--time-scale", "jd", "--ra", "20:12:00", "--dec", "+36:30:00"]),
])
def test_tables_are_kvw_minima_tables(path, options, words):
    rows = kvw_minima_rows(words + [path])
    assert_frame_is_table(kvw.time_minima(path, **options), rows)
    curve = kvw.read_light_curve(path, **{k: v for k, v in options.items() if k == "flux_column"})
    options = {k: v for k, v in options.items() if k != "flux_column"}
    assert_frame_is_table(kvw.time_minima(curve, **options), rows)


def test_one_eclipse_as_kvw_minima_times_it():
    row = dict(zip(*kvw_minima_rows([EXAMPLE])))
    curve = kvw.read_light_curve(EXAMPLE)
    result = kvw.time_minimum(curve.time, curve.mag)
    assert (result.time, result.error, result.error_classic, result.mean_value) == (
        float(row["time"]), float(row["error"]), float(row["error_classic"]), float(row["mean_value"]))
    assert (result.status, result.points, result.flags, result.notes) == ("ok", 320, (), ())
    assert len(result.trial_times) == len(result.pair_counts) == len(result.sums) > 0
    assert result.time_scale == "unknown"
    # Declared JD_UTC and converted to BJD_TDB before timing, as kvw-minima does.
    words = ["--time-scale", "jd", "--ra", "303", "--dec", "36.5"]
    converted = kvw.time_minimum(curve.time, curve.mag, time_scale="jd", ra=303, dec=36.5)
    row = dict(zip(*kvw_minima_rows(words + [EXAMPLE])))
    assert (converted.time, converted.error, converted.time_scale) == (float(row["time"]), float(row["error"]),
                                                                       "BJD_TDB")
    assert result.trial_times[0] < result.time < result.trial_times[-1]
    # Points out of time order, in a strided array of another type, are sorted first and time the same.
    order = np.arange(len(curve.time))[::-1]
    table = np.stack([curve.time[order], curve.mag[order]]).astype(np.longdouble)
    reversed_result = kvw.time_minimum(table[0], table[1])
    assert reversed_result.notes == ("sorted by time: the points were not in time order",)
    assert (reversed_result.time, reversed_result.error) == (result.time, result.error)
    # Fluxes become magnitudes as the readers make them; a point that is not finite is left out.
    flux = np.append(10 ** (-0.4 * curve.mag), np.nan)
    from_flux = kvw.time_minimum(np.append(curve.time, curve.time[-1] + 0.001), flux=flux)
    assert from_flux.notes == ("left out 1 point with a NaN flux",)
    assert from_flux.status == "ok" and abs(from_flux.time - result.time) < 1e-6


def test_astropy_time_series_in_its_own_scale_and_units(cm_dra_rows):
    from astropy.timeseries import TimeSeries

    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # astropy's warnings about the file's units
        series = TimeSeries.read(TESS, format="tess.fits")
    series = series[series["quality"] == 0]  # the cadences kvw-minima keeps
    frame = kvw.time_minima(series, flux_column="pdcsap_flux", **CM_DRA)
    assert_frame_is_table(frame, cm_dra_rows, skip={"file"})  # a Time in TDB: BJD_TDB
    assert set(frame["file"]) == {""}
    # Magnitudes as a Quantity in mag, times as a Quantity in hours.
    import astropy.units as u

    curve = kvw.read_light_curve(EXAMPLE)
    one = kvw.time_minima((curve.time * 24 * u.hour, curve.mag * u.mag))
    assert one["time"].iloc[0] == pytest.approx(kvw.time_minimum(curve.time, curve.mag).time, abs=1e-9)


@pytest.mark.parametrize("call, failure, message", [
    (lambda: kvw.time_minima(EXAMPLE, half_width=-0.1, epoch=1), ValueError, "--half-width: must be a positive number"),
    (lambda: kvw.time_minima(EXAMPLE, half_width=0.1), ValueError, "--half-width requires --epoch"),
    (lambda: kvw.time_minima(EXAMPLE, jobs=0), ValueError, "--jobs: must be a whole number"),
    (lambda: kvw.time_minima(EXAMPLE, secondary=1.5, period=1, epoch=1, half_width=0.1), ValueError,
     "--secondary: must be a phase between 0 and 1"),
    (lambda: kvw.time_minima(EXAMPLE, shape="round"), ValueError, "--shape=round"),
    (lambda: kvw.time_minima(EXAMPLE, output="table.csv"), ValueError, "the package returns the table"),
    (lambda: kvw.time_minima(EXAMPLE, period=1e-9, epoch=2459000.4, half_width=0.1), ValueError,
     "ECLIPSE.DAT: the observations span"),
    (lambda: kvw.read_light_curve(EXAMPLE, noise=0.01), ValueError, "options of reading a file only"),
    (lambda: kvw.time_minimum([1.0, 2.0, 3.0], [1.0, 0.0, 1.0], epoch=2, half_width=1), ValueError, "one eclipse"),
    (lambda: kvw.time_minimum([1.0, 2.0], [np.nan, 1.0]), ValueError, "only 1 point to time"),
    (lambda: kvw.time_minimum([1.0, 2.0, 3.0], [1.0, 2.0]), ValueError, "differ in length"),
    (lambda: kvw.time_minima(([1.0, 2.0, 3.0], [1.0, 0.0, 1.0]), band="V"), ValueError, "are for files"),
    (lambda: kvw.time_minima(42), TypeError, "not int"),
    (lambda: kvw.read_light_curve("no such file.csv"), FileNotFoundError, "no such file.csv: cannot open it"),
    (lambda: kvw.time_minima(kvw.__file__), ValueError, "__init__.py:"),
])
def test_bad_arguments_raise_with_kvw_minima_messages(call, failure, message):
    with pytest.raises(failure, match=message.replace("(", r"\(")):
        call()


def test_a_file_name_that_is_not_utf8(tmp_path):
    name = os.fsdecode(os.path.join(os.fsencode(tmp_path), b"V\xe9l.csv"))  # Latin-1: as Python lists it
    with open(name, "w") as file:
        file.write("1 10.0\n2 10.5\n3 10.0\nx\n")
    with pytest.raises(ValueError, match="l.csv:4: ") as failure:
        kvw.time_minima(name)
    assert str(failure.value).startswith(name)
    with open(name, "w") as file:
        file.write("1 10.0\n2 10.5\n3 10.2\n4 10.0\n")
    assert list(kvw.time_minima(name)["file"]) == [name]
    assert kvw.read_light_curve(name).source == name


def test_light_curve_arrays_are_read_only_views():
    curve = kvw.read_light_curve(TESS)
    assert curve.time.base is not None and not curve.time.flags.writeable
    assert curve.notes == ["left out 23 points with a non-zero QUALITY flag"]
    assert curve.time_scale == "BJD_TDB"
    with pytest.raises(ValueError):
        curve.mag[0] = 0
