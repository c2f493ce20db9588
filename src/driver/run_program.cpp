#include "driver/run_program.h"

#include <array>
#include <new>
#include <optional>
#include <string_view>

#include "analysis/branch.h"
#include "analysis/minimum.h"
#include "analysis/observations.h"
#include "analysis/symmetry_scan.h"
#include "analysis/working_storage.h"
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

// A curve that the method cannot resample ends the run as a failure of the
// observation file.
analysis::ResampledCurve resample(const analysis::ObservationSeries& series, analysis::ResamplingStorage& storage) {
    try {
        return analysis::selectBranchAndResample(series.times, series.magnitudes, storage);
    } catch (const analysis::UnusableCurve& unusable) {
        textio::raiseFailure({textio::SourceLocation::current(), textio::kFileUnit, series.source},
                             "The light curve cannot be resampled: " + unusable.reason);
    }
}

}  // namespace

void analyseObservationFile(std::string_view fileName) {
    analysis::WorkingStorage storage;
    const analysis::ObservationSeries series = analysis::loadObservations(fileName, storage);
    const analysis::ResampledCurve curve = resample(series, storage.resampling);
    const analysis::SymmetryScan scan = analysis::scanSymmetry(curve, storage.scan);
    analysis::refineMinimum(scan, curve.halfCount, curve.branchPoints, curve.dayOffset);
}

namespace {

// What ends a step other than its return: a run failure, or memory that ran
// out anywhere.
template <typename Step>
std::optional<textio::RunFailure> failureOf(Step&& step) {
    try {
        std::forward<Step>(step)();
        return std::nullopt;
    } catch (const textio::RunFailure& failure) {
        return failure;
    } catch (const std::bad_alloc&) {
        return textio::outOfMemory();
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
