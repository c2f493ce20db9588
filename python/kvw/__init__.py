"""Times of minimum of eclipsing binaries by the method of Kwee and van Woerden (1956), as kvw-minima times them.

    import kvw
    r = kvw.time_minimum(times, mags)              # one eclipse: r.time, r.error, r.status, r.trial_times...
    lc = kvw.read_light_curve("tess_lc.fits")      # any file kvw-minima reads: lc.time, lc.mag, lc.time_scale
    df = kvw.time_minima(lc, epoch=..., period=..., half_width=0.1, secondary=True)
    df = kvw.time_files(paths, client=None, epoch=..., period=..., half_width=0.1)

The package runs kvw-minima's own code: its readers, its timing and its table. Keyword options are kvw-minima's
long options with '_' for '-' (half_width=0.1 is --half-width 0.1, secondary=0.45 is --secondary 0.45, True
gives a flag alone, None or False leaves an option out), checked by kvw-minima's own command line: a bad value
raises ValueError with kvw-minima's message. A file that cannot be read raises OSError (missing, not
permitted) or ValueError (its content), naming the file and the line.

DataFrames have kvw-minima's CSV columns, names, values and order; `attrs["notes"]` holds what the readers
left out of each light curve, `attrs["reasons"]` why each row is not ok (empty for ok rows).
"""

from __future__ import annotations

import concurrent.futures
import dataclasses
import numbers
import os
import warnings

import numpy as np

from . import _kvw, _layout, _sources
from ._kvw import LightCurve, __version__

__all__ = ["LightCurve", "Minimum", "FileSkipped", "read_light_curve", "time_minimum", "time_minima", "time_files"]

_kvw.use_module_folders([os.path.join(os.path.dirname(os.path.abspath(__file__)), _layout.MODULE_FOLDER)])


class FileSkipped(UserWarning):
    """A file of time_files could not be read, or its ephemeris was refused: it has no rows."""


@dataclasses.dataclass(frozen=True)
class Minimum:
    """One eclipse timed: kvw-minima's row (None where it has no value) and the method's trials for plotting."""

    time: float | None
    time_scale: str  # of time: BJD_TDB, HJD_UTC, JD_UTC, or unknown for plain numbers (time_scale= declares it)
    error: float | None  # the calibrated error, in days
    error_classic: float | None  # after Kwee and van Woerden
    mean_value: float | None
    status: str  # ok, improper, suspect or failed
    reason: str  # why the status is not ok
    flags: tuple
    points: int
    trial_times: np.ndarray  # every trial time of the scan, and its pair count and sum of squared differences
    pair_counts: np.ndarray
    sums: np.ndarray
    notes: tuple  # what the readers' rules left out of the points


def _option_text(value):
    """An option's value as kvw-minima's command line reads it: floats in the shortest text that reads back to
    the same double, astropy Time as its Julian date, a Quantity in days or magnitudes."""
    if hasattr(value, "jd1") and hasattr(value, "jd2"):
        return repr(float(value.jd1) + float(value.jd2))
    if hasattr(value, "unit") and hasattr(value, "to_value"):
        import astropy.units as u

        return repr(float(value.to_value(u.mag if value.unit.is_equivalent(u.mag) else u.day)))
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):
        return repr(float(value))
    return os.fspath(value) if isinstance(value, os.PathLike) else str(value)


def _words(options):
    """Keyword options as kvw-minima's command-line words."""
    words = []
    for key, value in options.items():
        flag = "--" + key.replace("_", "-")
        if value is None or value is False:
            continue
        words.append(flag if value is True else flag + "=" + _option_text(value))
    return words


def _missing_as_none(value):
    return None if value is None or (isinstance(value, float) and np.isnan(value)) else value


def read_light_curve(path, **options):
    """The light curve of a file as kvw-minima reads it (text table, AAVSO extended export, TESS or Kepler FITS),
    with kvw-minima's options of reading: time_column, mag_column, flux_column, error_column, band.

    Returns a LightCurve: source, time (days, sorted), mag, error (or None), time_scale (as the file states it),
    notes (what was left out and why). The time options (time_offset, time_scale, ra, dec, time_out) act when
    it is timed.
    """
    return _kvw.read_file(os.fsencode(path), _words(options))


def time_minimum(times, mags=None, *, flux=None, errors=None, **options):
    """Times one eclipse as kvw times it, with kvw-minima's error and checks: the same time, error and
    error_classic, to the last bit, as kvw-minima gives for a file of these points.

    `mags` (or `flux=`, turned into magnitudes as the readers do) are one per time, and so are `errors=` (in the
    values' unit, each point's share of the noise, as an error column in a file). Arrays of float64 in one
    block are read where they lie; points that are not finite are left out and unsorted points sorted, by the
    readers' rules (see `notes`). Options: noise= (magnitudes per observation, when known), time_scale= (of plain
    numbers: "jd", "hjd" or "bjd"; astropy Time states its own), ra= and dec= with time_out= to convert.
    """
    if (mags is None) == (flux is None):
        raise ValueError("time_minimum takes mags or flux=, one of them")
    values, is_flux = _sources.value_array(flux if mags is None else mags, mags is None)
    times, scale = _sources.days(times)
    _sources.declare_scale(options, scale)
    if errors is not None:
        errors = _sources.value_array(errors, is_flux)[0]
    table = _kvw.time_points("", times, values, errors, is_flux, _words(options), True)
    columns, row = table["columns"], table["rows"][0]
    return Minimum(
        time=_missing_as_none(float(columns["time"][0])),
        time_scale=columns["time_scale"][0],
        error=_missing_as_none(float(columns["error"][0])),
        error_classic=_missing_as_none(float(columns["error_classic"][0])),
        mean_value=_missing_as_none(float(columns["mean_value"][0])),
        status=columns["status"][0],
        reason=row["reason"],
        flags=tuple(row["flags"]),
        points=int(columns["points"][0]),
        trial_times=row.get("trial_times", np.empty(0)),
        pair_counts=row.get("pair_counts", np.empty(0, dtype=np.int32)),
        sums=row.get("sums", np.empty(0)),
        notes=tuple(table["notes"]),
    )


def _time_source(source, options):
    """The table of one source: a path, a LightCurve, a pair (times, magnitudes) or a light-curve object."""
    options = dict(options)
    if isinstance(source, (str, bytes, os.PathLike)):
        return _kvw.time_file(os.fsencode(source), _words(options))
    if isinstance(source, LightCurve):
        return _kvw.time_curve(source, _words(options))
    times, values, errors, is_flux = _sources.points(source, options)
    return _kvw.time_points("", times, values, errors, is_flux, _words(options), False)


def _frame(tables):
    """One DataFrame of the tables' rows, in order, with kvw-minima's columns."""
    import pandas as pd

    tables = tables or [dict(_kvw.empty_table(), notes=[])]
    names = list(tables[0]["columns"])
    columns = {}
    for name in names:
        parts = [table["columns"][name] for table in tables]
        is_array = isinstance(parts[0], np.ndarray)
        columns[name] = np.concatenate(parts) if is_array else [value for part in parts for value in part]
    frame = pd.DataFrame(columns, columns=names)
    frame.attrs["notes"] = [note for table in tables for note in table["notes"]]
    frame.attrs["reasons"] = [row["reason"] for table in tables for row in table["rows"]]
    return frame


def _with_source_names(table, name):
    """The table's notes named by their source, as kvw-minima says them."""
    table["notes"] = [f"{name}: {note}" if name else note for note in table["notes"]]
    return table


def time_minima(source, **options):
    """Times the eclipses of one light curve as kvw-minima does: every eclipse of an ephemeris (epoch=,
    period=, secondary=; half_width= and min_points= measured from the light curve when left out), or the whole
    curve as one eclipse without one. Times are put in BJD_TDB where the scale and the star's position allow it
    (time_scale=, ra=, dec=, time_out=, time_offset= as kvw-minima's options); the time_scale column says which.

    `source` is a path (any file kvw-minima reads, with its column options), a LightCurve, a pair
    (times, magnitudes), or a light-curve object with `time` and `flux` (astropy TimeSeries, lightkurve
    LightCurve; time_column=, flux_column=, mag_column= or error_column= name its columns; the values' errors
    are otherwise taken from `flux_err` or the values' column name with '_err' where there is one). Returns a
    pandas DataFrame with kvw-minima's CSV columns, one row per eclipse. jobs= eclipses are timed at once
    (default: all cores).
    """
    table = _time_source(source, options)
    if isinstance(source, (str, bytes, os.PathLike)):
        name = os.fsdecode(source)
    else:
        name = source.source if isinstance(source, LightCurve) else ""
    return _frame([_with_source_names(table, name)])


def _time_path(path, words):
    """The table of one file, or why it has none: the task that time_files gives each worker."""
    try:
        return _with_source_names(_kvw.time_file(os.fsencode(path), words), path)
    except OSError as failure:
        return {"skipped": failure.strerror or str(failure)}
    except ValueError as failure:
        return {"skipped": str(failure)}


def time_files(paths, client=None, **options):
    """Times every file of a catalogue as kvw-minima does, with the same options; the rows of all files in the
    order of `paths`, as one DataFrame.

    With a dask.distributed Client the files are timed on the cluster's workers, one task per file (each worker
    needs this package installed); without one, on all cores of this machine (jobs= files at once). Each file's
    eclipses are timed one after another (jobs= with a client: that many at once). A file that cannot be read,
    or whose ephemeris is refused, is skipped as kvw-minima skips it, with a FileSkipped warning; the frame's
    attrs["skipped"] maps it to the reason.
    """
    if isinstance(paths, (str, bytes, os.PathLike)):
        raise TypeError("time_files takes a list of paths; time_minima times one file")
    paths = [os.fsdecode(path) for path in paths]
    _kvw.check_options(_words(options))
    options = dict(options)
    if client is None:
        workers = int(options.pop("jobs", None) or os.cpu_count() or 1)
        options["jobs"] = 1
    else:
        options.setdefault("jobs", 1)
    words = _words(options)
    if client is None:
        pool = concurrent.futures.ThreadPoolExecutor(workers)
        try:
            results = list(pool.map(_time_path, paths, [words] * len(paths)))
        finally:  # an interrupted catalogue stops at the files being timed
            pool.shutdown(cancel_futures=True)
    else:
        results = client.gather(client.map(_time_path, paths, words=words))
    skipped = {}
    for path, result in zip(paths, results):
        if "skipped" in result:
            skipped[path] = result["skipped"]
            warnings.warn(result["skipped"], FileSkipped, stacklevel=2)
    frame = _frame([result for result in results if "skipped" not in result])
    frame.attrs["skipped"] = skipped
    return frame
