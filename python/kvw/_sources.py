"""Sources in memory as the extension takes them: times in days and values as float64 arrays.

astropy Time values are taken as Julian dates in their own scale (jd1 + jd2, rounded once; TDB as BJD_TDB, UTC
as JD_UTC, other scales put in UTC first), Quantity values in their own units: times converted to days,
magnitudes (mag or a magnitude unit) as magnitudes, any other unit as a flux. Masked values become NaN, which
the readers' rules leave out (counted in the notes).
"""

import numpy as np

# The options that choose a column of a table; for a table in memory they name its columns.
_COLUMN_OPTIONS = ("time_column", "mag_column", "flux_column", "error_column")


def _filled(values):
    """The values with masked entries as NaN."""
    filled = getattr(values, "filled", None)
    if filled is not None and getattr(values, "mask", None) is not None:
        return filled(np.nan)
    return values


# astropy's time scales that name one of kvw-minima's: TDB is taken as BJD_TDB (as TESS, Kepler and
# lightkurve give it), UTC as JD_UTC; other scales are put in UTC first.
_TIME_SCALES = {"tdb": "bjd", "utc": "jd"}


def days(times):
    """(float64 days, the scale's --time-scale word or None): a Time as its Julian dates in its own scale (TDB as
    BJD_TDB, UTC as JD_UTC, any other put in UTC), a Quantity in days, plain numbers as they are."""
    times = _filled(times)
    if hasattr(times, "jd1") and hasattr(times, "jd2"):
        if times.scale not in _TIME_SCALES:
            if times.scale == "local":
                raise ValueError("astropy Time in the scale 'local' is tied to no time scale; give it in UTC or TDB")
            times = times.utc
        jd = np.asarray(times.jd1, dtype=np.float64) + np.asarray(times.jd2, dtype=np.float64)
        return jd, _TIME_SCALES[times.scale]
    if hasattr(times, "unit") and hasattr(times, "to_value"):
        return np.asarray(times.to_value("day"), dtype=np.float64), None
    return np.asarray(times, dtype=np.float64), None


def declare_scale(options, scale):
    """Declares the times' scale in the options (as --time-scale), unless they declare the same already."""
    if scale is None:
        return
    given = options.get("time_scale")
    if given is None:
        options["time_scale"] = scale
    elif str(given).lower() != scale:
        raise ValueError(
            f"time_scale={given!r} contradicts the astropy Time, whose scale is taken as time_scale={scale!r}")


def _is_magnitude(unit):
    import astropy.units as u

    return unit is not None and (unit.is_equivalent(u.mag) or hasattr(unit, "physical_unit"))


def value_array(values, flux):
    """(float64 values, whether they are fluxes): a Quantity in magnitudes is magnitudes, in another unit a flux."""
    values = _filled(values)
    unit = getattr(values, "unit", None)
    if unit is not None and hasattr(values, "value"):
        if _is_magnitude(unit):
            return np.asarray(values.to_value(values.unit), dtype=np.float64), False
        return np.asarray(values.value, dtype=np.float64), True
    return np.asarray(values, dtype=np.float64), flux


def _column(source, name):
    try:
        return source[name]
    except (KeyError, TypeError, IndexError, ValueError):
        raise ValueError(f"the light curve has no column {name!r}") from None


def _default_values(source):
    """(values, fluxes?, their name) of a light-curve object: its flux (attribute or column) or else its mag."""
    for name, flux in (("flux", True), ("mag", False)):
        if hasattr(source, name):
            return getattr(source, name), flux, name
    for name, flux in (("flux", True), ("mag", False)):
        try:
            return source[name], flux, name
        except (KeyError, TypeError, IndexError, ValueError):
            pass
    raise ValueError("the light curve has no flux or mag: name its column with flux_column= or mag_column=")


def _default_errors(source, name):
    """The errors of the values named `name`, as the FITS reader finds them: an attribute or column of that name
    with '_err' (flux_err, pdcsap_flux_err); None when there is none."""
    for key in (name + "_err", name + "_ERR"):
        if hasattr(source, key):
            return getattr(source, key)
        try:
            return source[key]
        except (KeyError, TypeError, IndexError, ValueError):
            pass
    return None


def points(source, options):
    """(times, values, errors or None, fluxes?) of a pair (times, magnitudes) or of a light-curve object with a
    time and a flux, and with errors where it has them (error_column=, else the values' name with '_err').

    The column options that name columns of the object are taken out of `options`; the scale of astropy Time is
    declared in them.
    """
    columns = {key: options.pop(key) for key in _COLUMN_OPTIONS if options.get(key) is not None}
    errors = None
    if isinstance(source, (tuple, list)):
        if columns or len(source) != 2:
            raise ValueError("a light curve as a pair is (times, magnitudes), without column options")
        times, (given, flux) = source[0], (source[1], False)
    else:
        if "mag_column" in columns and "flux_column" in columns:
            raise ValueError("mag_column and flux_column exclude each other")
        if not hasattr(source, "time") and "time_column" not in columns:
            raise TypeError(
                f"time_minima takes a path, a kvw.LightCurve, a pair (times, magnitudes) or a light curve with "
                f"time and flux, not {type(source).__name__}")
        times = _column(source, columns["time_column"]) if "time_column" in columns else source.time
        if "mag_column" in columns:
            name, flux = columns["mag_column"], False
            given = _column(source, name)
        elif "flux_column" in columns:
            name, flux = columns["flux_column"], True
            given = _column(source, name)
        else:
            given, flux, name = _default_values(source)
        errors = _column(source, columns["error_column"]) if "error_column" in columns else \
            _default_errors(source, name)
    given, flux = value_array(given, flux)
    if errors is not None:
        errors = value_array(errors, flux)[0]
    times, scale = days(times)
    declare_scale(options, scale)
    return times, given, errors, flux
