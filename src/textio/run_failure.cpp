#include "textio/run_failure.h"

#include <cerrno>
#include <cstring>

namespace kvw::textio {

namespace {
constexpr const char* kReasonPrefix = "kvw run-time error: ";
}

void raiseFailure(const FailureSite& site, std::string reason) {
    throw RunFailure(kInputOutputStatus, RunFailure::Location{site.where, site.unit, std::string(site.fileName)},
                     std::move(reason));
}

void raiseSystemFailure(const FailureSite& site, int errorNumber) {
    raiseFailure(site, systemErrorText(errorNumber));
}

RunFailure outOfMemory() {
    return RunFailure(kOutOfMemoryStatus, std::nullopt, systemErrorText(ENOMEM));
}

std::string systemErrorText(int errorNumber) {
    return std::strerror(errorNumber);
}

std::string describeFailure(const RunFailure& failure) {
    if (!failure.location) {
        return "Operating system error: " + failure.reason + "\nOut of memory\n";
    }
    const RunFailure::Location& location = *failure.location;
    std::string text = "At line " + std::to_string(location.where.line()) + " of file " +
                       location.where.file_name() + " (unit = " + std::to_string(location.unit) +
                       ", file = '" + location.fileName + "')\n";
    text += kReasonPrefix;
    text += failure.reason;
    text += '\n';
    return text;
}

}  // namespace kvw::textio
