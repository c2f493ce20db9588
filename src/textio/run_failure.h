// What ends a run other than its normal stop: one failure type, raised where
// the failure is met and reported once, by the driver.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "textio/source_location.h"

namespace kvw::textio {

// Connection numbers, as shown in the location line of a diagnostic.
inline constexpr int kFileUnit = 1;
inline constexpr int kInputUnit = 5;
inline constexpr int kOutputUnit = 6;

// Exit statuses.
inline constexpr int kNormalStatus = 0;
inline constexpr int kOutOfMemoryStatus = 1;
inline constexpr int kInputOutputStatus = 2;

// Where a failure was met: the statement, the connection number and the
// connection's file name.
struct FailureSite {
    SourceLocation where;
    int unit = 0;
    std::string_view fileName;
};

struct RunFailure : std::exception {
    struct Location {
        SourceLocation where;
        int unit = 0;
        std::string fileName;
    };

    RunFailure(int status, std::optional<Location> location, std::string reason)
        : status(status), location(std::move(location)), reason(std::move(reason)) {}
    const char* what() const noexcept override { return reason.c_str(); }

    int status;
    std::optional<Location> location;  // none for lack of memory
    std::string reason;                // for lack of memory, the system's text for it
};

// An input/output failure (status 2) at a site.
[[noreturn]] void raiseFailure(const FailureSite& site, std::string reason);
// The same with the system's text for an error number as the reason.
[[noreturn]] void raiseSystemFailure(const FailureSite& site, int errorNumber);

// Lack of memory (status 1): no location.
RunFailure outOfMemory();

// The system's text for an error number.
std::string systemErrorText(int errorNumber);

// The two diagnostic lines, each ended by LF alone: the location line and the
// reason line, or for lack of memory the system's text and "Out of memory".
std::string describeFailure(const RunFailure& failure);

// Runs a series of steps that must all be tried, such as closing every
// connection: a step that fails does not stop the others, and the first
// failure is raised once all have run.
class FirstFailure {
public:
    template <typename Step>
    void attempt(Step&& step) {
        try {
            std::forward<Step>(step)();
        } catch (const RunFailure& failure) {
            if (!first_) {
                first_ = failure;
            }
        }
    }
    const std::optional<RunFailure>& first() const { return first_; }
    void raise() const {
        if (first_) {
            throw *first_;
        }
    }

private:
    std::optional<RunFailure> first_;
};

}  // namespace kvw::textio
