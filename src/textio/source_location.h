// The place of a statement in the program's source, taken at the call site
// through a default argument, as the location line of a diagnostic shows it.
// (Our own type rather than std::source_location, which not every compiler
// that builds this program provides.)
#pragma once

namespace kvw::textio {

class SourceLocation {
public:
    static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                            unsigned line = __builtin_LINE()) noexcept {
        return SourceLocation(file, line);
    }
    constexpr SourceLocation() noexcept = default;

    constexpr unsigned line() const noexcept { return line_; }
    constexpr const char* file_name() const noexcept { return file_; }

private:
    constexpr SourceLocation(const char* file, unsigned line) noexcept : file_(file), line_(line) {}

    const char* file_ = "";
    unsigned line_ = 0;
};

}  // namespace kvw::textio
