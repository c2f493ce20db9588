"""Sources in memory as the extension takes them: times in days and values as float64 arrays.

astropy Time values are taken as Julian dates in their own scale (jd1 + jd2, rounded once), Quantity values
in their own units: times converted to days, magnitudes (mag or a magnitude unit) as magnitudes, any other
unit as a flux. Masked values become NaN, which the readers' rules leave out (counted in the notes).
"""

import numpy as np

# The options that choose a column of a table; for a table in memory they name its columns.
_COLUMN_OPTIONS = ("time_column", "mag_column", "flux_column")


def _filled(values):
    """The values with masked entries as NaN."""
    filled = getattr(values, "filled", None)
    if filled is not None and getattr(values, "mask", None) is not None:
        return filled(np.nan)
    return values


def days(times):
    """Times as float64 days: a Time as its Julian dates in its own scale, a Quantity in days."""
    times = _filled(times)
    if hasattr(times, "jd1") and hasattr(times, "jd2"):
        return np.asarray(times.jd1, dtype=np.float64) + np.asarray(times.jd2, dtype=np.float64)
    if hasattr(times, "unit") and hasattr(times, "to_value"):
        return np.asarray(times.to_value("day"), dtype=np.float64)
    return np.asarray(times, dtype=np.float64)


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
    """The fluxes (attribute or column 'flux') or else the magnitudes ('mag') of a light-curve object."""
    for name, flux in (("flux", True), ("mag", False)):
        if hasattr(source, name):
            return getattr(source, name), flux
    for name, flux in (("flux", True), ("mag", False)):
        try:
            return source[name], flux
        except (KeyError, TypeError, IndexError, ValueError):
            pass
    raise ValueError("the light curve has no flux or mag: name its column with flux_column= or mag_column=")


def points(source, options):
    """(times, values, fluxes?) of a pair (times, magnitudes) or of a light-curve object with a time and a flux.

    The column options that name columns of the object are taken out of `options`.
    """
    columns = {key: options.pop(key) for key in _COLUMN_OPTIONS if options.get(key) is not None}
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
            given, flux = _column(source, columns["mag_column"]), False
        elif "flux_column" in columns:
            given, flux = _column(source, columns["flux_column"]), True
        else:
            given, flux = _default_values(source)
    given, flux = value_array(given, flux)
    return days(times), given, flux
