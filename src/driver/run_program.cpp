#include "driver/run_program.h"

#include <array>
#include <cerrno>
#include <new>
#include <string_view>

#include "analysis/branch.h"
#include "analysis/minimum.h"
#include "analysis/observations.h"
#include "analysis/symmetry_scan.h"
#include "textio/format.h"
#include "textio/input.h"
#include "textio/io_failure.h"
#include "textio/output.h"
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

void analyseObservationFile(std::string_view fileName) {
    analysis::LoadedObservations loaded = analysis::loadObservations(fileName);
    analysis::WorkingStorage& storage = loaded.storage;
    const analysis::ResampledCurve curve = analysis::selectBranchAndResample(
        loaded.series, std::move(storage.gridTimes), std::move(storage.gridMagnitudes));
    const analysis::SymmetryScan scan =
        analysis::scanSymmetry(curve, std::move(storage.trialTimes), std::move(storage.sums));
    analysis::refineMinimum(scan, curve.halfCount, curve.branchPoints, curve.dayOffset);
}

namespace {

// Closes everything after a failure was reported: a further refusal is shown
// too, but the status stays that of the first failure.
void closeAfterFailure() {
    try {
        textio::closeAllConnections();
    } catch (const textio::IoFailure& failure) {
        textio::writeToErrorStream(textio::describeFailure(failure));
    }
}

}  // namespace

int runAndClose() {
    textio::guardStandardDescriptors();
    textio::ignoreBrokenPipes();
    try {
        runProgram();
        textio::closeAllConnections();
        return 0;
    } catch (const textio::IoFailure& failure) {
        textio::writeToErrorStream(textio::describeFailure(failure));
        closeAfterFailure();
        return 2;
    } catch (const textio::OutOfMemory& failure) {
        textio::writeToErrorStream(textio::describeFailure(failure));
        closeAfterFailure();
        return 1;
    } catch (const std::bad_alloc&) {
        textio::writeToErrorStream(textio::describeFailure(textio::OutOfMemory(textio::systemErrorText(ENOMEM))));
        closeAfterFailure();
        return 1;
    } catch (const std::exception& failure) {
        // A fault of the program itself: still reported, and nothing written is lost.
        textio::writeToErrorStream(std::string("kvw internal error: ") + failure.what() + "\n");
        closeAfterFailure();
        return 2;
    }
}

}  // namespace kvw::driver
