// The one check of a function's preconditions: what the caller promises (a
// table reserved large enough, arguments in range, tables of equal length).
// A broken promise is a fault of the calling code, never of the data, and is
// raised as PreconditionFailure in every build, so that the tests and the
// sanitizer build see it where it happens. Each program reports it once at
// its top, like its own failures.
#pragma once

#include <stdexcept>
#include <string>

namespace kvw {

struct PreconditionFailure : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

// Raises PreconditionFailure naming the place of the call and the promise.
[[noreturn]] inline void raisePreconditionFailure(const char* promise, const char* file, unsigned line) {
    throw PreconditionFailure(std::string(file) + ":" + std::to_string(line) + ": a precondition does not hold: " +
                              promise);
}

// `promise` in words: "the storage is reserved for the series". The place is
// the caller's, taken through the default arguments.
inline void require(bool holds, const char* promise, const char* file = __builtin_FILE(),
                    unsigned line = __builtin_LINE()) {
    if (!holds) [[unlikely]] {
        raisePreconditionFailure(promise, file, line);
    }
}

}  // namespace kvw
