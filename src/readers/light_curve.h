// Readers of the light-curve files observers have: text tables, the AAVSO
// extended format and TESS or Kepler light-curve files (FITS). Each gives the
// same LightCurve: times in days and magnitudes, sorted by time, with a note
// for every kind of point it left out.
//
// Rules common to every format
// - Every value that cannot be read is a ReadError naming the file, the line
//   (or FITS row) and the column:
//     curve.csv:12: column 2 (mag): cannot read "12.3x" as a number
//   Columns are named by their header name, or by their role (time,
//   magnitude, flux, error) in a table without a header row.
// - Nothing is dropped silently: each point left out is counted in a note with
//   its reason, e.g. "left out 12 points with a non-zero QUALITY flag".
//   Comment lines, blank lines and a header row are not points.
// - Fluxes become magnitudes m = -2.5 log10 f, and a flux error sf the
//   magnitude error 2.5/ln 10 * sf/f. Points with a flux of zero or less are
//   left out (counted).
// - The points are sorted by time, stably: points with equal times keep the
//   order of the file. A note says so when the file was not in time order.
// - Fewer than two points left is a ReadError: nothing can be timed.
// - Numbers: an optional sign, digits with an optional decimal point, an
//   optional exponent (e, E, d or D). No hexadecimal, no infinities. A value of
//   "", "na", "n/a" or "nan" (any case) is missing: a point whose time or
//   magnitude (flux) is missing is left out (counted); a missing error is NaN.
// - Times are days as the file gives them (JD, HJD, BJD, MJD, BTJD...: the
//   readers do not change the time scale), or ISO 8601 UTC date-times turned
//   into Julian dates: YYYY-MM-DD, then optionally T or one blank and hh:mm,
//   :ss, fractional seconds and a trailing Z. Computed with a 64-bit
//   significand and rounded once to the stored double.
// - The time scale is the one the file states, else unknown: calendar dates
//   (ISO, AAVSO's EXCEL) are JD_UTC; numbers have the scale a header names
//   (FITS, AAVSO #DATE=), else it is unknown. Dates and numbers in one time
//   column have the numbers' scale when it is JD_UTC, an unknown scale (with
//   a note) when it is unknown, and are a ReadError otherwise.
// - A column option is a 1-based column number (all digits) or a header name
//   (compared without regard to case); empty means the default.
//
// Format by content, never by file name (readLightCurve)
// - FITS: the file starts with "SIMPLE  =".
// - AAVSO extended: one of the comment lines before the first data row is
//   #TYPE=EXTENDED (any case; blanks ignored).
// - Anything else is read as a text table.
// A missing, unreadable or compressed file and a directory are ReadErrors; the
// file is opened for reading only, so a missing file is never created. So is a
// file larger than 512 MB, and text with a NUL byte (a binary file, or UTF-16)
// or a line longer than 4 MB: what a reader holds is bounded, even on an
// endless device. A band given for a file that is not an AAVSO export is
// not used, and a note says so.
//
// Text tables (readTextTable)
// - Lines end with CR LF, LF or a lone CR; a UTF-8 byte-order mark is skipped.
//   Blank lines and lines whose first non-blank character is # are skipped.
// - In a table with a header row, fields are separated by commas, semicolons,
//   or runs of blanks and tabs, whichever the first data row (the first row
//   starting like a number) shows, in that order of preference: a
//   comma-separated row may hold semicolons in a text field. Between commas or
//   semicolons a field may be empty or quoted ("..." with "" for a quote), and
//   blanks around a field do not count.
// - A table without a header row is read as kvw reads its file: on every line
//   a comma or a semicolon with blanks around it, or blanks and tabs alone,
//   separate two fields, in any mix from line to line; two commas in a row
//   give an empty field. No quoting.
// - Between blanks (and in a table without a header row), a date (YYYY-MM-DD) directly followed by a clock time
//   (hh:mm...) is one date-time field and counts as one column; when a header
//   row names the two parts apart ("date time"), that column's name is both
//   names joined by a blank.
// - The first row is a header row of column names when none of its fields
//   reads as a number or a date-time. Only the first row can be one. Without
//   one, the last comment line before the first data row serves as the header
//   row ("# BJD-TDB    norm. flux") when it names as many columns as that row
//   holds, one of them a time, magnitude or flux name below: names apart by
//   two or more blanks or a tab (else by single blanks), or by the delimiter.
// - Default columns when the header names them (names compared without regard
//   to case, "-" and blanks taken as "_", a unit in (...) or [...] ignored):
//   time: time, t, jd, hjd, bjd, mjd, btjd, bkjd, date, date_obs, dateobs, or a
//     name starting with one of time_, jd_, hjd_, bjd_, mjd_, date_ (bjd_tdb);
//   error: a name holding "err", "sigma" or "uncert", or e, sig, unc, or a name
//     starting with e_ (mag_err, merr, error, flux_err, e_mag, sigma);
//   magnitude: m, or a name starting or ending with "mag" (mag, magnitude,
//     vmag, diff_mag, kpmag) that is not an error name;
//   flux: f, or a name holding "flux" (flux, rel_flux, pdcsap_flux) that is not
//     an error name; used only when no column is a magnitude.
//   Otherwise the time is column 1 and the magnitude the first other column.
//   The default error column is the first error name that does not speak of the
//   other quantity (flux for a magnitude column, mag for a flux column) or of
//   time; without a header row there is none.
// - magColumn and fluxColumn together are a ReadError.
//
// AAVSO extended format (readAavsoExtended)
// - Parameter lines #KEY=VALUE: #DELIMITER= or #DELIM= (default a comma; a
//   single character, the word "tab", or an ASCII code 32-126), #TYPE, #DATE.
// - #DATE= names the dates' scale (any case): JD or JD_UTC is JD_UTC, HJD or
//   HJD_UTC is HJD_UTC, BJD_TDB is BJD_TDB; EXCEL means dates as Excel writes
//   them (12/31/2007 11:59:59 PM), JD_UTC. BJD alone (TDB or UTC?) leaves the
//   scale unknown with a note. Any other value (observers' tools write the
//   report's date there) states nothing: ISO dates in the date column are
//   JD_UTC, numbers of an unknown scale.
// - The column names come from the line "#NAME<delimiter>..." when there is
//   one, else the standard order NAME,DATE,MAG,MERR,FILT,TRANS,MTYPE,CNAME,
//   CMAG,KNAME,KMAG,AMASS,GROUP,CHART,NOTES. Time: DATE, DATE-OBS, JD, HJD,
//   BJD or TIME; magnitude: MAG; error: MERR, MAG_ERR, MAGERR, ERR; filter:
//   FILT, FILTER or BAND; star: NAME. The column options override these.
// - Dates are Julian dates or ISO date-times; a delimiter inside a quoted
//   field, or in fields past the named ones (NOTES), does not disturb the
//   columns. A magnitude starting with "<" is an upper limit: left out
//   (counted). An error "na" is missing (NaN).
// - Filters: `band` keeps the rows of that filter (without regard to case) and
//   counts the others as left out; a band that no row has is a ReadError that
//   lists the filters present. Several filters without `band` are a ReadError
//   listing them with their counts: magnitudes in different filters cannot be
//   timed together, and the observer, not the reader, knows which one to time.
// - Several star names in one file are a ReadError listing them.
//
// TESS and Kepler files (readFitsLightCurve)
// - The binary table named LIGHTCURVE. Times are BJD = TIME + BJDREFI +
//   BJDREFF (keywords of that table), summed with a 64-bit significand.
// - Their scale is BJD_TDB when that table's TIMESYS is 'TDB' and its TIMEREF
//   'SOLARSYSTEM' (any case); other values, or a keyword missing, leave it
//   unknown with a note. The star's position is RA_OBJ and DEC_OBJ (degrees,
//   ICRS) of that table's header (TESS writes there the position at the
//   time of observation), else of the primary header; a value out of range
//   or not a number is not used (a note says so).
// - Values: PDCSAP_FLUX by default; fluxColumn names another flux column
//   (SAP_FLUX), magColumn a column of magnitudes instead. The errors come from
//   errorColumn, else from the value column's name + "_ERR" when it exists.
//   timeColumn replaces TIME. Column numbers count from 1 as in the table.
// - Left out (counted): a non-zero QUALITY flag (TESS) or SAP_QUALITY flag
//   (Kepler), whichever column exists, then a NaN or infinite time or value.
// - A failure of cfitsio is a ReadError with cfitsio's message. So are a file
//   that ends before the rows of the LIGHTCURVE table do (truncated), and a
//   header whose column name (TTYPEn) is not a quoted string (damaged).
//
// Every reader throws std::bad_alloc when memory runs out.
#pragma once

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "timescale/time_scale.h"

namespace kvw::readers {

struct LightCurve {
    std::string source;              // the path (or name) as given
    std::vector<double> times;       // days, sorted (stably)
    std::vector<double> magnitudes;  // one per time
    std::vector<double> errors;      // magnitudes, one per time (NaN where missing); empty when
                                     // the file gives no error for any point
    std::vector<std::string> notes;  // one line each: what was left out and why, with counts; what
                                     // the file's statements of its time scale or position leave open
    timescale::TimeScale timeScale = timescale::TimeScale::unknown;  // of `times`, as the file states it
    std::string timeScaleSource;     // what in the file states it ("#DATE=HJD"); empty when unknown
    std::optional<timescale::SkyPosition> position;  // the star's, when the file gives it
};

// Each column: a header name or a 1-based column number; empty for the default.
struct ReadOptions {
    std::string timeColumn{};
    std::string magColumn{};    // magnitudes (the default kind of value)
    std::string fluxColumn{};   // fluxes, turned into magnitudes
    std::string errorColumn{};  // errors of the value column, in its unit
    std::string band{};         // AAVSO: the filter to keep

    bool operator==(const ReadOptions&) const = default;
};

// what(): the file, the line or row and the column where that applies, and
// what is wrong.
struct ReadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A file the system refuses to open or read (missing, not permitted, a
// directory), with the system's error number.
struct FileError : ReadError {
    FileError(const std::string& what, int number) : ReadError(what), number(number) {}
    int number;
};

// The readers of each format, on content already in memory. `source` names it
// in the LightCurve and in messages.
LightCurve readTextTable(std::string_view content, const std::string& source,
                         const ReadOptions& options);
LightCurve readAavsoExtended(std::string_view content, const std::string& source,
                             const ReadOptions& options);
// In the library kvw_readers_fits, the only one that links cfitsio.
LightCurve readFitsLightCurve(std::string_view content, const std::string& source,
                              const ReadOptions& options);

// The reader of FITS content: readFitsLightCurve, or the same function loaded
// from a module when the file turns out to be FITS (fits_module.h).
using FitsReader = LightCurve (*)(std::string_view content, const std::string& source, const ReadOptions& options);

// Reads the file at `path`, choosing the format by its content; FITS content
// goes to `readFits`.
LightCurve readLightCurve(const std::string& path, const ReadOptions& options, FitsReader readFits);

// Points given in memory (the Python package's arrays), read by the rules of
// every reader: a point whose time or value is NaN or infinite is left out
// (counted), fluxes become magnitudes, the points are sorted stably by time,
// fewer than two left is a ReadError. `errors` is empty or one per time, in
// the unit of the values. `source` names them in the LightCurve and in
// messages (it may be empty).
LightCurve readPoints(const std::string& source, std::span<const double> times, std::span<const double> values,
                      std::span<const double> errors, bool flux);

// Whether readPoints gives back these very times and magnitudes (at least
// two, all finite, in time order): they can then be timed where they lie.
bool readAsGiven(std::span<const double> times, std::span<const double> magnitudes);

}  // namespace kvw::readers
