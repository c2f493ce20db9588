#include "minima/options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <sstream>
#include <thread>

namespace kvw::minima {

namespace {

const char* const kDescription =
    "Times the minima of eclipses in light curves by the method of Kwee and van Woerden (1956), straight from "
    "the files observers have: text tables (CSV, blank- or tab-separated), AAVSO extended exports, and TESS or "
    "Kepler light-curve files (FITS). One row per eclipse, as CSV or JSON.";

const char* const kFooter =
    "Without an ephemeris each FILE is one eclipse, timed as the console program kvw times it.\n"
    "With --epoch (and --period for many cycles), every predicted eclipse in each FILE is timed on the\n"
    "observations within a half-width of its predicted time: --half-width, or measured from the light curve\n"
    "folded on the ephemeris (the half_width column).\n"
    "Every row says its time scale: BJD_TDB, HJD_UTC, JD_UTC or unknown. With the star's position (--ra and\n"
    "--dec, or a FITS file's own) the times are converted to BJD_TDB (or --time-out) before they are timed.\n"
    "Statuses: ok, improper, partial, suspect, failed. Exit status: 0 when every file was read, 2 when a file\n"
    "could not be read or its ephemeris was refused, the options are wrong, a time scale or position does not fit\n"
    "a file (no table is written), or the table or the pictures cannot be written, 1 when memory runs out.\n";

// The text as a double, or nothing when it is not one number.
std::optional<double> numberIn(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end ? std::optional<double>(value) : std::nullopt;
}

// Values in days or magnitudes must be finite numbers, and some positive.
CLI::Validator finitePositive() {
    return CLI::Validator(
        [](std::string& text) {
            const std::optional<double> value = numberIn(text);
            return value && std::isfinite(*value) && *value > 0 ? std::string()
                                                                : std::string("must be a positive number");
        },
        "");
}

CLI::Validator finiteNumber() {
    return CLI::Validator(
        [](std::string& text) {
            const std::optional<double> value = numberIn(text);
            return value && std::isfinite(*value) ? std::string() : std::string("must be a finite number");
        },
        "");
}

// Counts: digits only, from 1 to 2^31 - 1.
CLI::Validator positiveCount() {
    return CLI::Validator(
        [](std::string& text) {
            unsigned long long value = 0;
            const char* end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            const bool fits = error == std::errc() && stop == end && value >= 1 && value <= 2147483647ULL;
            return fits ? std::string() : std::string("must be a whole number from 1 to 2147483647");
        },
        "");
}

// Phases strictly between 0 and 1.
CLI::Validator phase() {
    return CLI::Validator(
        [](std::string& text) {
            const std::optional<double> value = numberIn(text);
            return value && *value > 0 && *value < 1 ? std::string()
                                                      : std::string("must be a phase between 0 and 1 (not 0 or 1)");
        },
        "");
}

// "--secondary PHASE": the word after it is its phase when it is a number;
// "--secondary" before any other word means phase 0.5 (the word after it is
// the first file more often than not). Words after "--" are files.
std::vector<std::string> withSecondaryPhase(std::vector<std::string> words) {
    for (std::size_t i = 0; i < words.size() && words[i] != "--"; ++i) {
        if (words[i] != "--secondary") {
            continue;
        }
        if (i + 1 < words.size() && numberIn(words[i + 1])) {
            words[i] += "=" + words[i + 1];
            words.erase(words.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        } else {
            words[i] += "=0.5";
        }
    }
    return words;
}

// What the command line gives before it becomes Options: the values read and
// the options that say whether they were given.
struct Given {
    Options options;
    double epoch = 0;
    double period = 0;
    double halfWidth = 0;
    double secondaryPhase = 0.5;
    std::size_t minimumPoints = 0;
    std::string format = "csv";
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    double noise = 0;
    std::string timeScale;       // jd, hjd, bjd; empty when not given
    std::string rightAscension;  // as given; empty when not given
    std::string declination;
    std::string timeOut;         // bjd, hjd, as-read; empty when not given
    CLI::Option* epochOption = nullptr;
    CLI::Option* periodOption = nullptr;
    CLI::Option* halfWidthOption = nullptr;
    CLI::Option* minPointsOption = nullptr;
    CLI::Option* secondaryOption = nullptr;
    CLI::Option* noiseOption = nullptr;
};

void addEphemerisOptions(CLI::App& app, Given& given) {
    const char* group = "Ephemeris (times in the rows' time scale: see --time-out)";
    given.periodOption = app.add_option("--period", given.period, "Orbital period P in days")
                             ->check(finitePositive())
                             ->type_name("P")
                             ->group(group);
    given.epochOption = app.add_option("--epoch", given.epoch, "Time T0 of a primary minimum; eclipses at T0 + E P")
                            ->check(finiteNumber())
                            ->type_name("T0")
                            ->group(group);
    given.halfWidthOption =
        app.add_option("--half-width", given.halfWidth,
                       "Half-width W in days of the window timed around each eclipse (default: measured from the "
                       "light curve)")
            ->check(finitePositive())
            ->type_name("W")
            ->group(group);
    given.secondaryOption =
        app.add_option("--secondary", given.secondaryPhase,
                       "Time the secondary eclipses too, at phase PHASE (the number after it; else 0.5), cycle "
                       "numbers E + PHASE")
            ->expected(0, 1)
            ->check(phase())
            ->type_name("[PHASE]")
            ->group(group);
    given.minPointsOption =
        app.add_option("--min-points", given.minimumPoints,
                       "Fewest observations on each side of a predicted time to time its eclipse (default: a quarter "
                       "of what the cadence gives, at least 3)")
            ->check(positiveCount())
            ->type_name("N")
            ->group(group);
    app.add_option("--time-offset", given.options.timeOffset,
                   "D days added to every time read (a table of BJD - 2450000 against a BJD ephemeris: 2450000)")
        ->check(finiteNumber())
        ->type_name("D")
        ->group(group);
    given.halfWidthOption->needs(given.epochOption);
    given.periodOption->needs(given.epochOption);
    given.secondaryOption->needs(given.periodOption);
    given.minPointsOption->needs(given.epochOption);
}

void addColumnOptions(CLI::App& app, readers::ReadOptions& columns) {
    const char* group = "Columns (a header name or a number from 1)";
    CLI::Option* magOption =
        app.add_option("--mag-column", columns.magColumn, "Column of magnitudes (the default kind)")
            ->type_name("COLUMN")
            ->group(group);
    CLI::Option* fluxOption =
        app.add_option("--flux-column", columns.fluxColumn,
                       "Column of fluxes, turned into magnitudes -2.5 log10 f (FITS: PDCSAP_FLUX by default)")
            ->type_name("COLUMN")
            ->group(group);
    magOption->excludes(fluxOption);
    app.add_option("--time-column", columns.timeColumn, "Column of times (days or ISO 8601 UTC)")
        ->type_name("COLUMN")
        ->group(group);
    app.add_option("--error-column", columns.errorColumn, "Column of the values' errors")
        ->type_name("COLUMN")
        ->group(group);
    app.add_option("--band", columns.band, "AAVSO: the filter to time when a file has several")
        ->type_name("FILTER")
        ->group(group);
}

// A right ascension or declination as readRightAscension or readDeclination
// takes it.
CLI::Validator angle(timescale::AngleReading (*read)(std::string_view)) {
    return CLI::Validator([read](std::string& text) { return read(text).problem; }, "");
}

void addTimeScaleOptions(CLI::App& app, Given& given) {
    const char* group = "Time scale (JD_UTC, HJD_UTC, BJD_TDB)";
    app.add_option("--time-scale", given.timeScale,
                   "The files' scale where they do not state it: jd (JD_UTC), hjd (HJD_UTC) or bjd (BJD_TDB)")
        ->check(CLI::IsMember({"jd", "hjd", "bjd"}))
        ->type_name("SCALE")
        ->group(group);
    CLI::Option* raOption =
        app.add_option("--ra", given.rightAscension, "The star's right ascension (ICRS): degrees, or hours as 20:12:00")
            ->check(angle(timescale::readRightAscension))
            ->type_name("RA")
            ->group(group);
    CLI::Option* decOption =
        app.add_option("--dec", given.declination, "The star's declination (ICRS): degrees, or as +36:30:00")
            ->check(angle(timescale::readDeclination))
            ->type_name("DEC")
            ->group(group);
    raOption->needs(decOption);
    decOption->needs(raOption);
    app.add_option("--time-out", given.timeOut,
                   "The rows' scale: bjd (BJD_TDB), hjd (HJD_UTC) or as-read; default: BJD_TDB where the file's "
                   "scale and the star's position allow it, else as read")
        ->check(CLI::IsMember({"bjd", "hjd", "as-read"}))
        ->type_name("SCALE")
        ->group(group);
}

// The time-scale options as given; the position was checked by its validators.
TimeScaleOptions timeScaleOptionsOf(const Given& given) {
    TimeScaleOptions options;
    if (given.timeScale == "jd") {
        options.declared = timescale::TimeScale::jdUtc;
    } else if (given.timeScale == "hjd") {
        options.declared = timescale::TimeScale::hjdUtc;
    } else if (given.timeScale == "bjd") {
        options.declared = timescale::TimeScale::bjdTdb;
    }
    if (!given.rightAscension.empty()) {
        options.position = timescale::SkyPosition{timescale::readRightAscension(given.rightAscension).degrees,
                                                  timescale::readDeclination(given.declination).degrees};
    }
    options.out = given.timeOut == "bjd"       ? TimeOut::bjd
                  : given.timeOut == "hjd"     ? TimeOut::hjd
                  : given.timeOut == "as-read" ? TimeOut::asRead
                                               : TimeOut::automatic;
    return options;
}

void addOutputOptions(CLI::App& app, Given& given) {
    const char* group = "Output";
    app.add_option("-o,--output", given.options.output, "Write the table to FILE instead of standard output")
        ->type_name("FILE")
        ->group(group);
    app.add_option("--format", given.format, "csv, or json with every trial of the scan for plotting")
        ->check(CLI::IsMember({"csv", "json"}))
        ->type_name("FORMAT")
        ->capture_default_str()
        ->group(group);
    CLI::Option* plotOption =
        app.add_option("--plot", given.options.plotDirectory, "Draw each eclipse (and the O-C diagram) into DIR")
            ->type_name("DIR")
            ->group(group);
    app.add_option("--plot-format", given.options.plotFormat, "Pictures as svg, pdf or png")
        ->check(CLI::IsMember({"svg", "pdf", "png"}))
        ->type_name("FORMAT")
        ->capture_default_str()
        ->needs(plotOption)
        ->group(group);
}

void addMethodOptions(CLI::App& app, Given& given) {
    const char* group = "Method";
    given.noiseOption = app.add_option("--noise", given.noise, "The noise of one observation in magnitudes, when known")
                            ->check(finitePositive())
                            ->type_name("MAG")
                            ->group(group);
    app.add_option("--jobs", given.jobs, "Eclipses timed at once (default: all cores)")
        ->check(positiveCount())
        ->type_name("N")
        ->group(group);
}

// The text and status CLI11 gives for --help, --version or a mistake; a
// mistake ends with status 2.
CommandLine endedEarly(const CLI::App& app, const CLI::ParseError& error) {
    std::ostringstream out;
    std::ostringstream err;
    CommandLine result;
    result.status = app.exit(error, out, err);
    result.toErrorStream = result.status != 0;
    result.text = result.toErrorStream ? err.str() : out.str();
    if (result.status != 0) {
        result.status = 2;
    }
    return result;
}

Options optionsOf(Given& given) {
    Options options = std::move(given.options);
    if (*given.epochOption) {
        timing::Ephemeris ephemeris;
        ephemeris.epoch = given.epoch;
        if (*given.halfWidthOption) {
            ephemeris.halfWidth = given.halfWidth;
        }
        if (*given.periodOption) {
            ephemeris.period = given.period;
        }
        if (*given.secondaryOption) {
            ephemeris.secondaryPhase = given.secondaryPhase;
        }
        options.ephemeris = ephemeris;
    }
    if (*given.minPointsOption) {
        options.minimumPoints = given.minimumPoints;
    }
    if (*given.noiseOption) {
        options.noise = given.noise;
    }
    options.timeScales = timeScaleOptionsOf(given);
    options.jobs = given.jobs;
    options.format = given.format == "json" ? OutputFormat::json : OutputFormat::csv;
    return options;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> words = withSecondaryPhase(std::vector<std::string>(argv + 1, argv + argc));
    std::reverse(words.begin(), words.end());  // the order CLI11 parses a vector in

    CLI::App app(kDescription, "kvw-minima");
    app.footer(kFooter);
    app.set_version_flag("--version", std::string("kvw-minima ") + KVW_VERSION);
    app.get_formatter()->column_width(30);

    Given given;
    app.add_option("FILE", given.options.files, "Light-curve files (text table, AAVSO extended or FITS)")
        ->required()
        ->type_name("");
    addEphemerisOptions(app, given);
    addColumnOptions(app, given.options.columns);
    addTimeScaleOptions(app, given);
    addOutputOptions(app, given);
    addMethodOptions(app, given);
    try {
        app.parse(words);
    } catch (const CLI::ParseError& error) {
        return endedEarly(app, error);
    }
    CommandLine result;
    result.options = optionsOf(given);
    return result;
}

}  // namespace kvw::minima
