// Test support: temporary working directories and whole runs of the built
// program with piped standard input.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kvw::testing {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

    void write(std::string_view name, std::string_view bytes) const;
    std::string read(std::string_view name) const;
    bool exists(std::string_view name) const;

private:
    std::filesystem::path path_;
};

struct RunOptions {
    std::string input;                // bytes piped to standard input
    bool closeInput = false;          // start with standard input closed instead
    bool closeOutput = false;         // start with standard output closed
    bool brokenOutputPipe = false;    // standard output a pipe whose reading end is closed
    std::string outputPath;           // when set, standard output goes to this file (e.g. /dev/full)
    bool errorsOnTerminal = false;    // the error stream a pseudo-terminal (its bytes still in `errors`)
    bool unprivileged = false;        // run as uid/gid 65534 when started as root
    long long addressSpaceLimit = 0;  // bytes; 0 for none
    long long fileSizeLimit = 0;      // bytes a file may grow to; 0 for none
    std::vector<std::string> environment;  // extra NAME=value entries
    double timeoutSeconds = 120;
};

struct RunResult {
    int status = -1;   // the exit status, or -1 when a signal ended the run
    int signal = 0;    // the signal that ended the run, or 0
    bool timedOut = false;
    long peakMemoryKb = 0;  // the run's largest resident set
    std::string output;  // standard output (empty when redirected)
    std::string errors;  // the error stream
};

// Runs a program with arguments in `directory`.
RunResult runBinary(const std::string& binary, const std::vector<std::string>& arguments,
                    const std::filesystem::path& directory, const RunOptions& options);

// Runs the built kvw in `directory`.
RunResult runKvw(const std::filesystem::path& directory, const RunOptions& options);

// The bytes before the reply: 26 empty lines, the two identification lines,
// an empty line and the prompt, every line ended by CR LF.
std::string openingScreen();

// The reason line of a failure: the last line of the error stream with the
// run-time error prefix removed ("" when there is none).
std::string reasonOf(const RunResult& result);

// The "(unit = U, file = 'F')" part of the location line ("" when there is none).
std::string unitAndFileOf(const RunResult& result);

// A build with sanitizers cannot run under an address-space limit.
bool sanitizedBuild();

}  // namespace kvw::testing
