// The extension of the Python package kvw: kvw-minima's own steps for the
// package's Python code. Options go through kvw-minima's command line, files
// through its readers, eclipses through its timing, rows through the cells of
// its table, so that a call gives what kvw-minima gives. The GIL is released
// while a file is read and while eclipses are timed; numpy arrays of doubles
// in one block are read where they lie.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "analysis/eclipse_timing.h"
#include "minima/flow.h"
#include "minima/modules.h"
#include "minima/options.h"
#include "minima/output.h"
#include "readers/light_curve.h"
#include "timing/time_eclipses.h"

namespace py = pybind11;

namespace {

using namespace kvw;

using Doubles = py::array_t<double, py::array::c_style | py::array::forcecast>;

// Texts that may hold a file's name, as Python holds names: bytes that are
// not UTF-8 (a name in Latin-1) as lone surrogates, which os.fsencode gives
// back as the same bytes.
py::str textOf(std::string_view text) {
    PyObject* decoded = PyUnicode_DecodeUTF8(text.data(), static_cast<py::ssize_t>(text.size()), "surrogateescape");
    if (decoded == nullptr) {
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::str>(decoded);
}

py::list textsOf(const std::vector<std::string>& texts) {
    py::list list;
    for (const std::string& text : texts) {
        list.append(textOf(text));
    }
    return list;
}

// A ValueError whose message may name a file.
struct ValueProblem : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Options of kvw-minima that make its output files or pictures; the package
// returns its table instead.
constexpr const char* kOutputOptions[] = {"-o", "--output", "--format", "--plot", "--plot-format"};

// kvw-minima's message about its command line, without the pointer to --help
// that only the program has.
std::string messageOf(const std::string& text) {
    std::string message = text.substr(0, text.find("\nRun with --help"));
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

// kvw-minima's options from its own command line: `words` are its options
// ("--half-width=0.1", "--secondary"), the sources are given apart. A mistake
// is a ValueError with kvw-minima's message.
minima::Options parsedOptions(const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        for (const char* name : kOutputOptions) {
            if (word == name || word.starts_with(std::string(name) + "=")) {
                throw py::value_error(word + ": the package returns the table; kvw-minima writes files and pictures");
            }
        }
    }
    std::vector<const char*> argv{"kvw-minima"};
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    argv.push_back("-");  // the source, given apart
    const minima::CommandLine line = minima::parseCommandLine(static_cast<int>(argv.size()), argv.data());
    if (!line.options) {
        throw py::value_error(line.status == 0 ? "--help and --version are kvw-minima's own: see help(kvw)"
                                               : messageOf(line.text));
    }
    minima::Options options = *line.options;
    options.files.clear();
    return options;
}

// The options that say how a file is read are all a reading takes.
void requireReadingOptionsOnly(const minima::Options& options) {
    minima::Options defaults = parsedOptions({});
    defaults.columns = options.columns;
    if (!(options == defaults)) {
        throw py::value_error("read_light_curve takes the options of reading a file only (the columns, the band)");
    }
}

// Points in memory have no columns to choose and no band.
void requireNoColumnOptions(const minima::Options& options) {
    if (!(options.columns == readers::ReadOptions{})) {
        throw py::value_error("the column options and --band are for files; in memory, the points are given");
    }
}

// A read-only numpy view of a table that `owner` keeps alive.
template <typename T>
py::array_t<T> viewOf(const std::vector<T>& values, const py::object& owner) {
    py::array_t<T> array(static_cast<py::ssize_t>(values.size()), values.data(), owner);
    py::detail::array_proxy(array.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
    return array;
}

// A numpy array of its own holding a copy of the values.
template <typename T>
py::array_t<T> arrayOf(std::span<const T> values) {
    return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

std::span<const double> spanOf(const Doubles& array) {
    return {array.data(), static_cast<std::size_t>(array.size())};
}

// The method's work on a row, for plotting: every trial of the scan.
py::dict methodOf(const timing::TimedEclipse& timed) {
    py::dict method;
    method["reason"] = textOf(timed.reason);
    method["flags"] = textsOf(timed.flags);
    if (timed.method && timed.method->curve.usable()) {
        const analysis::EclipseTiming& work = *timed.method;
        const std::vector<double> trialTimes = analysis::absoluteTimes(work.scan.trialTimes, work.curve.dayOffset);
        method["trial_times"] = arrayOf<double>(trialTimes);
        method["pair_counts"] = arrayOf<std::int32_t>(work.scan.pairCounts);
        method["sums"] = arrayOf<double>(work.scan.sums);
    }
    return method;
}

// The rows as columns: kvw-minima's table, column by column in its order
// (numbers as float64 with NaN where missing, counts as int64, texts as
// str or None), and each row's reason and flags (with the trials when kept).
py::dict tableOf(const std::vector<timing::Eclipse>& eclipses) {
    const std::span<const minima::Column> columns = minima::tableColumns();
    std::vector<std::vector<minima::Cell>> rows;
    rows.reserve(eclipses.size());
    for (const timing::Eclipse& eclipse : eclipses) {
        rows.push_back(minima::rowCells(eclipse));
    }
    py::dict table;
    for (std::size_t c = 0; c < columns.size(); ++c) {
        const auto n = static_cast<py::ssize_t>(rows.size());
        if (columns[c].kind == minima::CellKind::number) {
            py::array_t<double> values(n);
            for (py::ssize_t r = 0; r < n; ++r) {
                const auto* number = std::get_if<double>(&rows[r][c]);
                values.mutable_at(r) = number != nullptr ? *number : std::nan("");
            }
            table[columns[c].name] = values;
        } else if (columns[c].kind == minima::CellKind::count) {
            py::array_t<std::int64_t> values(n);
            for (py::ssize_t r = 0; r < n; ++r) {
                values.mutable_at(r) = std::get<std::int64_t>(rows[r][c]);
            }
            table[columns[c].name] = values;
        } else {
            py::list values;
            for (py::ssize_t r = 0; r < n; ++r) {
                const auto* text = std::get_if<std::string>(&rows[r][c]);
                values.append(text != nullptr ? py::object(textOf(*text)) : py::object(py::none()));
            }
            table[columns[c].name] = values;
        }
    }
    py::list methods;
    for (const timing::Eclipse& eclipse : eclipses) {
        methods.append(methodOf(eclipse.timed));
    }
    return py::dict(py::arg("columns") = table, py::arg("rows") = methods);
}

// Lays out the eclipses of a source with `layOut` and times them as
// kvw-minima does, both without the GIL; a refused ephemeris is a ValueError
// naming the source. `notes` come first in the table's notes, then the
// layout's.
template <typename LayOut>
py::dict timedTable(const LayOut& layOut, std::string_view source, const minima::Options& options, bool keepMethod,
                    std::vector<std::string> notes) {
    minima::LaidOut laidOut;
    {
        const py::gil_scoped_release unlocked;
        laidOut = layOut();
        if (!laidOut.refusal) {
            timing::timeAndCheck(laidOut.eclipses, minima::timingSettings(options, keepMethod), options.jobs);
        }
    }
    if (laidOut.refusal) {
        throw ValueProblem((source.empty() ? "" : std::string(source) + ": ") + *laidOut.refusal);
    }
    py::dict table = tableOf(laidOut.eclipses);
    notes.insert(notes.end(), laidOut.notes.begin(), laidOut.notes.end());
    table["notes"] = textsOf(notes);
    return table;
}

std::shared_ptr<readers::LightCurve> readFile(const std::string& path, const std::vector<std::string>& words) {
    const minima::Options options = parsedOptions(words);
    requireReadingOptionsOnly(options);
    auto curve = std::make_shared<readers::LightCurve>();
    const py::gil_scoped_release unlocked;
    *curve = minima::readInputFile(path, options);
    return curve;
}

// The table of a light curve's eclipses (its times put in the rows' scale on
// this copy), with the curve's notes first.
py::dict curveTable(readers::LightCurve curve, const minima::Options& options, bool keepMethod) {
    return timedTable([&] { return minima::layOutCurve(curve, options); }, curve.source, options, keepMethod,
                      curve.notes);
}

py::dict timeFile(const std::string& path, const std::vector<std::string>& words) {
    const minima::Options options = parsedOptions(words);
    readers::LightCurve curve;
    {
        const py::gil_scoped_release unlocked;
        curve = minima::readInputFile(path, options);
    }
    return curveTable(std::move(curve), options, false);
}

py::dict timeCurve(const std::shared_ptr<readers::LightCurve>& curve, const std::vector<std::string>& words) {
    const minima::Options options = parsedOptions(words);
    requireNoColumnOptions(options);
    return curveTable(*curve, options, false);
}

// Points given as arrays: timed where they lie when readPoints would give
// them back unchanged, else read by its rules first (sorted, fluxes to
// magnitudes, points that are not finite left out); `errors` (or None) are
// in the unit of the values. With `oneEclipse` (time_minimum) they are one
// eclipse, timed with the method's work kept; an ephemeris is then a mistake.
py::dict timePoints(const std::string& source, const Doubles& times, const Doubles& values,
                    const std::optional<Doubles>& errors, bool flux, const std::vector<std::string>& words,
                    bool oneEclipse) {
    const minima::Options options = parsedOptions(words);
    requireNoColumnOptions(options);
    if (oneEclipse && options.ephemeris) {
        throw py::value_error("time_minimum times the points as one eclipse; time_minima takes an ephemeris");
    }
    if (values.size() != times.size() || (errors && errors->size() != times.size())) {
        throw py::value_error(errors ? "the times, values and errors differ in length"
                                     : "the times and values differ in length");
    }
    const std::optional<timescale::TimeScale> scale = minima::scaleKeptInMemory(options);
    if (!flux && !errors && scale && readers::readAsGiven(spanOf(times), spanOf(values))) {
        const timing::CurveView view{source, timescale::scaleName(*scale), spanOf(times), spanOf(values), {},
                                     std::nullopt};
        return timedTable([&] { return minima::layOutEclipses(view, options); }, source, options, oneEclipse, {});
    }
    readers::LightCurve curve;
    {
        const py::gil_scoped_release unlocked;
        curve = readers::readPoints(source, spanOf(times), spanOf(values),
                                    errors ? spanOf(*errors) : std::span<const double>(), flux);
    }
    return curveTable(std::move(curve), options, oneEclipse);
}

// A file the system refuses is an OSError with its error number (so a missing
// file is a FileNotFoundError); any other fault of a file a ValueError.
void translateReadErrors(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const readers::FileError& error) {
        const py::object raised = py::module_::import("builtins").attr("OSError")(error.number, textOf(error.what()));
        PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(raised.ptr())), raised.ptr());
    } catch (const readers::ReadError& error) {
        PyErr_SetObject(PyExc_ValueError, textOf(error.what()).ptr());
    } catch (const ValueProblem& problem) {
        PyErr_SetObject(PyExc_ValueError, textOf(problem.what()).ptr());
    } catch (const minima::ScaleMismatch& mismatch) {
        PyErr_SetObject(PyExc_ValueError, textOf(mismatch.what()).ptr());
    }
}

}  // namespace

PYBIND11_MODULE(_kvw, module) {
    module.doc() = "kvw-minima's steps for the Python package kvw (use the package's functions)";
    py::register_exception_translator(translateReadErrors);

    module.attr("__version__") = KVW_VERSION;
    py::class_<readers::LightCurve, std::shared_ptr<readers::LightCurve>>(
        module, "LightCurve",
        "A light curve as kvw-minima reads it: source (the path as given), time (days, sorted), mag, error (or "
        "None), time_scale (as the file states it: BJD_TDB, HJD_UTC, JD_UTC or unknown), notes (what was left out "
        "and why). Made by read_light_curve; its arrays are read-only views.")
        .def_property_readonly("source", [](const readers::LightCurve& curve) { return textOf(curve.source); })
        .def_property_readonly(
            "time", [](py::object self) { return viewOf(self.cast<const readers::LightCurve&>().times, self); })
        .def_property_readonly(
            "mag", [](py::object self) { return viewOf(self.cast<const readers::LightCurve&>().magnitudes, self); })
        .def_property_readonly("error",
                               [](py::object self) -> py::object {
                                   const auto& curve = self.cast<const readers::LightCurve&>();
                                   return curve.errors.empty() ? py::object(py::none()) : viewOf(curve.errors, self);
                               })
        .def_property_readonly("notes", [](const readers::LightCurve& curve) { return textsOf(curve.notes); })
        .def_property_readonly("time_scale",
                               [](const readers::LightCurve& curve) {
                                   return std::string(timescale::scaleName(curve.timeScale));
                               })
        .def("__len__", [](const readers::LightCurve& curve) { return curve.times.size(); })
        .def("__repr__", [](const readers::LightCurve& curve) {
            return "<kvw.LightCurve " + py::repr(textOf(curve.source)).cast<std::string>() + ": " +
                   std::to_string(curve.times.size()) + " points>";
        });

    module.def("empty_table", [] { return tableOf({}); });
    module.def("check_options", [](const std::vector<std::string>& words) { parsedOptions(words); });
    module.def("use_module_folders", &minima::useModuleFolders);
    module.def("read_file", &readFile);
    module.def("time_file", &timeFile);
    module.def("time_curve", &timeCurve);
    module.def("time_points", &timePoints);
}
