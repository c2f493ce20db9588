#include "minima/table_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace kvw::minima {

namespace {

namespace fs = std::filesystem;

std::string systemReason(int error) {
    return std::system_category().message(error);
}

// Every byte, or the errno of the write that failed.
int writeAll(int file, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(file, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// The temporary file's name, for the signal handler to remove it; a signal
// that ends the run while it is written leaves no trace of it.
char temporaryName[4096];
volatile sig_atomic_t temporaryExists = 0;
constexpr int kEndingSignals[] = {SIGHUP, SIGINT, SIGTERM};

extern "C" void removeTemporaryAndEnd(int signal) {
    if (temporaryExists) {
        ::unlink(temporaryName);
    }
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// While it lives, the ending signals remove the temporary file first, and a
// file-size limit makes a write fail (EFBIG) instead of ending the run.
class SignalGuard {
public:
    SignalGuard() {
        struct sigaction action {};
        action.sa_handler = removeTemporaryAndEnd;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], &action, &previous_[i]);
        }
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGXFSZ, &ignore, &previousFileSize_);
    }
    ~SignalGuard() {
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            ::sigaction(kEndingSignals[i], &previous_[i], nullptr);
        }
        ::sigaction(SIGXFSZ, &previousFileSize_, nullptr);
    }
    SignalGuard(const SignalGuard&) = delete;
    SignalGuard& operator=(const SignalGuard&) = delete;

private:
    struct sigaction previous_[std::size(kEndingSignals)] {};
    struct sigaction previousFileSize_ {};
};

// A new file beside `target` (never one that exists), under a short name so
// that any name of the target's length leaves room for it; its name is kept
// for the signal handler.
int createTemporary(const fs::path& target, std::string& name) {
    const std::string stem = (target.parent_path() / (".kvw-minima-" + std::to_string(::getpid()))).string();
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = stem;
        name += '-';
        name += std::to_string(attempt);
        if (name.size() >= sizeof temporaryName) {
            errno = ENAMETOOLONG;
            return -1;
        }
        std::memcpy(temporaryName, name.c_str(), name.size() + 1);
        const int file = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file >= 0 || errno != EEXIST) {
            temporaryExists = file >= 0;
            return file;
        }
    }
    return -1;
}

// Writes, flushes and closes the temporary file, then renames it over the
// target; the errno of the step that failed, or 0.
int replaceWhole(const fs::path& target, std::string_view text) {
    std::string name;
    const int file = createTemporary(target, name);
    if (file < 0) {
        return errno;
    }
    struct stat old {};
    int error = 0;
    if (::stat(target.c_str(), &old) == 0 && ::fchmod(file, old.st_mode & 07777) != 0) {
        error = errno;
    }
    if (error == 0) {
        error = writeAll(file, text);
    }
    if (error == 0 && ::fsync(file) != 0) {
        error = errno;
    }
    if (::close(file) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(name.c_str(), target.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(name.c_str());
    }
    temporaryExists = 0;
    return error;
}

// The file the path names, through symbolic links, is replaced; a device or
// pipe (/dev/null, /dev/stdout) is written in place.
int writeFile(const std::string& path, std::string_view text) {
    std::error_code failure;  // a path that does not exist is none
    const fs::file_status status = fs::status(path, failure);
    if (fs::is_directory(status)) {
        return EISDIR;
    }
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        const int file = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (file < 0) {
            return errno;
        }
        const int error = writeAll(file, text);
        return ::close(file) != 0 && error == 0 ? errno : error;
    }
    if (!fs::is_symlink(fs::symlink_status(path, failure))) {
        return replaceWhole(path, text);
    }
    const fs::path target = fs::canonical(path, failure);
    return failure ? failure.value() : replaceWhole(target, text);
}

}  // namespace

std::optional<std::string> writeTable(const std::string& path, std::string_view text) {
    const SignalGuard guard;
    const int error = path.empty() ? writeAll(STDOUT_FILENO, text) : writeFile(path, text);
    if (error == 0) {
        return std::nullopt;
    }
    return "cannot write the table to " + (path.empty() ? std::string("standard output") : path) + ": " +
           systemReason(error);
}

}  // namespace kvw::minima
