#include "driver/run_program.h"

#include <array>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/branch.h"
#include "analysis/minimum.h"
#include "analysis/symmetry_scan.h"
#include "analysis/working_storage.h"
#include "driver/observation_file.h"
#include "textio/connections.h"
#include "textio/format.h"
#include "textio/input.h"
#include "textio/output.h"
#include "textio/run_failure.h"
#include "textio/source_location.h"

namespace kvw::driver {

namespace {

constexpr std::size_t kIdentificationLength = 65;

std::string identification(std::string_view wording) {
    std::string text(" (version) ");
    text += wording;
    text.resize(kIdentificationLength, ' ');
    return text;
}

// The file name: the reply's first 15 characters in a field of 21.
constexpr int kNameWidth = 15;
constexpr std::size_t kNameFieldLength = 21;

std::string readFileName() {
    std::array<char, kNameFieldLength> field;
    textio::TextConnection& console = textio::standardInput();
    if (textio::readCharacterRecord(console, kNameWidth, field) == textio::ReadResult::endOfFile) {
        textio::raiseFailure(console.site(textio::SourceLocation::current()), "End of file");
    }
    return std::string(field.data(), field.size());
}

}  // namespace

const std::string kIdentificationLine1 = identification("Kwee-van Woerden (1956) time of minimum of an eclipse");
const std::string kIdentificationLine2 = identification("kvw by the K.V.W. developers, 2026-12 to 2026-12");

void runProgram() {
    static const textio::Format blankScreen("(/////////////////////////)");
    static const textio::Format prompt("(A39 )");
    textio::OutputConnection& console = textio::standardOutput();
    textio::writeFormatted(console, blankScreen, {});
    textio::writeFreeFormat(console, kIdentificationLine1);
    textio::writeFreeFormat(console, kIdentificationLine2);
    textio::writeFreeFormat(console);
    textio::writeFormatted(console, prompt, {std::string_view("  ENTER INPUT FILE ! (EG.:CW-CEP.DAT) ")});
    analyseObservationFile(readFileName());
}

namespace {

// The console program's steps after loading: each runs a phase of the method
// and does what the program reads, writes or prints around it.

// A curve that the method cannot resample ends the run as a failure of the
// observation file.
analysis::ResampledCurve selectBranchAndResample(const ObservationSeries& series,
                                                 analysis::ResamplingStorage& storage) {
    analysis::ResampledCurve curve = analysis::selectBranchAndResample(series.times, series.magnitudes, storage);
    if (!curve.usable()) {
        textio::raiseFailure({textio::SourceLocation::current(), textio::kFileUnit, series.source},
                             "The light curve cannot be resampled: " + curve.unusable);
    }
    return curve;
}

// Opens KWEESUM.DAT (status "UNKNOWN"), computes the scan and writes one
// record per trial under "(2I5,1X,F14.8)". The file stays open to the end of
// the run.
analysis::SymmetryScan scanSymmetry(const analysis::ResampledCurve& curve, analysis::ScanStorage& storage) {
    static const textio::Format summaryRecord("(2I5,1X,F14.8)");
    textio::OutputConnection& summary = textio::openConnection(textio::kFileUnit, "KWEESUM.DAT", "UNKNOWN");
    const analysis::SymmetryScan scan = analysis::computeSymmetry(curve, storage);
    for (std::int32_t i = 1; i <= scan.trialCount; ++i) {
        const auto index = static_cast<std::size_t>(i - 1);
        textio::writeFormatted(summary, summaryRecord, {i, scan.pairCounts[index], scan.sums[index]});
    }
    return scan;
}

// Fits the parabola and prints the report, or the improper-minimum line, on
// standard output; a record "Singular matrix." for each all-zero row of the
// parabola's system comes first.
void refineMinimum(const analysis::SymmetryScan& scan, const analysis::ResampledCurve& curve) {
    static const textio::Format meanAndTime("(//,2X,'MEAN VALUE=',F9.6,1X,'MINIMUM TIME=',F14.6)");
    static const textio::Format errorLine("(22X,'MINIMUM ERROR=',F14.6)");
    const analysis::MinimumFit fit = analysis::fitMinimum(scan, curve.halfCount, curve.branchPoints, curve.dayOffset);
    reportSingularRows(fit.singularRows);
    textio::OutputConnection& console = textio::standardOutput();
    if (fit.improper) {
        textio::writeFreeFormat(console, "    IMPROPER MINIMUM !!!");
    } else {
        textio::writeFormatted(console, meanAndTime, {fit.meanValue, fit.minimumTime});
        textio::writeFormatted(console, errorLine, {fit.error});
    }
}

}  // namespace

void reportSingularRows(int zeroRows) {
    for (int row = 0; row < zeroRows; ++row) {
        textio::writeFreeFormat(textio::standardOutput(), "Singular matrix.");
    }
}

void analyseObservationFile(std::string_view fileName) {
    analysis::WorkingStorage storage;
    const ObservationSeries series = loadObservations(fileName, storage);
    const analysis::ResampledCurve curve = selectBranchAndResample(series, storage.resampling);
    const analysis::SymmetryScan scan = scanSymmetry(curve, storage.scan);
    refineMinimum(scan, curve);
}

namespace {

// A fault of the program itself (a broken precondition, or anything else
// that escaped): reported as a failure of the run rather than let end it
// without a word.
textio::RunFailure internalFault(const std::string& what) {
    return textio::RunFailure(textio::kInputOutputStatus,
                              textio::RunFailure::Location{textio::SourceLocation::current(), 0, ""},
                              "Internal fault of the program: " + what);
}

// What ends a step other than its return: a run failure, memory that ran out
// anywhere, or a fault of the program.
template <typename Step>
std::optional<textio::RunFailure> failureOf(Step&& step) {
    try {
        std::forward<Step>(step)();
        return std::nullopt;
    } catch (const textio::RunFailure& failure) {
        return failure;
    } catch (const std::bad_alloc&) {
        return textio::outOfMemory();
    } catch (const std::exception& fault) {
        return internalFault(fault.what());
    } catch (...) {
        return internalFault("an unknown exception");
    }
}

}  // namespace

int runAndClose() {
    textio::guardStandardDescriptors();
    textio::ignoreBrokenPipes();
    std::optional<textio::RunFailure> failure = failureOf(runProgram);
    if (failure) {
        textio::writeToErrorStream(textio::describeFailure(*failure));
    }
    // Every end closes every connection; a refusal there is reported too, and
    // ends an otherwise normal run with its status.
    if (const std::optional<textio::RunFailure> closing = failureOf([] { textio::closeAllConnections(); })) {
        textio::writeToErrorStream(textio::describeFailure(*closing));
        if (!failure) {
            failure = closing;
        }
    }
    return failure ? failure->status : textio::kNormalStatus;
}

}  // namespace kvw::driver
