// The typed failures that end a run. They are raised where the failure is met
// and travel unchanged to the driver, which prints them and picks the status.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "textio/source_location.h"

namespace kvw::textio {

// Connection numbers, as shown in the location line of a diagnostic.
inline constexpr int kErrorUnit = 0;
inline constexpr int kFileUnit = 1;
inline constexpr int kInputUnit = 5;
inline constexpr int kOutputUnit = 6;

// An input/output failure: exit status 2 with a location line and a reason line.
struct IoFailure : std::exception {
    IoFailure(SourceLocation where, int unit, std::string fileName, std::string reason)
        : where(where), unit(unit), fileName(std::move(fileName)), reason(std::move(reason)) {}
    const char* what() const noexcept override { return reason.c_str(); }

    SourceLocation where;
    int unit;
    std::string fileName;
    std::string reason;
};

// Lack of memory for the working storage: exit status 1, no location line.
struct OutOfMemory : std::exception {
    explicit OutOfMemory(std::string systemText) : systemText(std::move(systemText)) {}
    const char* what() const noexcept override { return systemText.c_str(); }

    std::string systemText;
};

// Runs a series of steps that must all be tried, such as closing every
// connection: a step that fails does not stop the others, and the first
// failure is raised once all have run.
class FirstFailure {
public:
    template <typename Step>
    void attempt(Step&& step) {
        try {
            std::forward<Step>(step)();
        } catch (const IoFailure&) {
            if (!first_) {
                first_ = std::current_exception();
            }
        }
    }
    void raise() const {
        if (first_) {
            std::rethrow_exception(first_);
        }
    }

private:
    std::exception_ptr first_;
};

// The system's text for an error number.
std::string systemErrorText(int errorNumber);

// The two diagnostic lines of a failure, each ended by LF alone.
std::string describeFailure(const IoFailure& failure);
std::string describeFailure(const OutOfMemory& failure);

}  // namespace kvw::textio
