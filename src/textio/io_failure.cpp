#include "textio/io_failure.h"

#include <cstring>

namespace kvw::textio {

namespace {
constexpr const char* kReasonPrefix = "kvw run-time error: ";
}

std::string systemErrorText(int errorNumber) {
    return std::strerror(errorNumber);
}

std::string describeFailure(const IoFailure& failure) {
    std::string text = "At line " + std::to_string(failure.where.line()) + " of file " +
                       failure.where.file_name() + " (unit = " + std::to_string(failure.unit) +
                       ", file = '" + failure.fileName + "')\n";
    text += kReasonPrefix;
    text += failure.reason;
    text += '\n';
    return text;
}

std::string describeFailure(const OutOfMemory& failure) {
    return "Operating system error: " + failure.systemText + "\nOut of memory\n";
}

}  // namespace kvw::textio
