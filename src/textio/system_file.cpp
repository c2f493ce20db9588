#include "textio/system_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>


namespace kvw::textio {

namespace {

// Longer names are treated like a missing path.
constexpr std::size_t kLongestName = 258;

bool refusedForRights(int errorNumber) {
    return errorNumber == EACCES || errorNumber == EPERM;
}

int openWith(const std::string& path, int accessFlags) {
    int descriptor;
    do {
        descriptor = ::open(path.c_str(), accessFlags | O_CREAT | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0666);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

}  // namespace

std::string_view trimTrailingBlanks(std::string_view name) {
    const std::size_t end = name.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1);
}

OpenedFile openUnknown(std::string_view name, int unit, SourceLocation where) {
    const std::string path(trimTrailingBlanks(name));
    // The connection has no name until the open has succeeded.
    const FailureSite site{where, unit, ""};
    auto doesNotExist = [&] { raiseFailure(site, "File '" + path + "' does not exist"); };
    if (path.empty() || path.size() > kLongestName || path.find('\0') != std::string::npos) {
        doesNotExist();
    }

    OpenedFile file;
    // An exclusive creation first, so that a file made by this open is known as such.
    int descriptor = openWith(path, O_RDWR | O_EXCL);
    file.created = descriptor >= 0;
    if (descriptor < 0) {
        descriptor = openWith(path, O_RDWR);
    }
    if (descriptor < 0 && (refusedForRights(errno) || errno == EROFS)) {
        file.access = Access::readOnly;
        descriptor = openWith(path, O_RDONLY);
        if (descriptor < 0 && refusedForRights(errno)) {
            file.access = Access::writeOnly;
            descriptor = openWith(path, O_WRONLY);
        }
    }
    if (descriptor < 0) {
        const int error = errno;
        if (error == ENOENT) {
            doesNotExist();
        }
        if (refusedForRights(error)) {
            raiseFailure(site, "Permission denied trying to open file '" + path + "'");
        }
        if (error == EISDIR) {
            raiseFailure(site, "'" + path + "' is a directory");
        }
        raiseSystemFailure(site, error);
    }

    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        const int error = errno;
        ::close(descriptor);
        raiseSystemFailure(site, error);
    }
    if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) {
        ::close(descriptor);
        raiseFailure(site, "'" + path + "' is not a regular file");
    }
    // Reads and writes wait as usual once the open could not block.
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0) {
        ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    }
    file.descriptor = descriptor;
    file.regular = S_ISREG(status.st_mode);
    file.length = static_cast<long long>(status.st_size);
    return file;
}

std::size_t readSome(int descriptor, char* buffer, std::size_t capacity, const FailureSite& site) {
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, capacity);
        if (count >= 0) {
            return static_cast<std::size_t>(count);
        }
        if (errno != EINTR) {
            raiseSystemFailure(site, errno);
        }
    }
}

void writeAll(int descriptor, std::string_view bytes, const FailureSite& site) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(descriptor, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            raiseSystemFailure(site, errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
}

bool seekToStart(int descriptor, const FailureSite& site) {
    if (::lseek(descriptor, 0, SEEK_SET) == 0) {
        return true;
    }
    if (errno == ESPIPE) {
        return false;
    }
    raiseSystemFailure(site, errno);
}

void cutAt(int descriptor, long long length, const FailureSite& site) {
    int result;
    do {
        result = ::ftruncate(descriptor, static_cast<off_t>(length));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        raiseSystemFailure(site, errno);
    }
}

long long lengthOf(int descriptor, const FailureSite& site) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        raiseSystemFailure(site, errno);
    }
    return static_cast<long long>(status.st_size);
}

void closeDescriptor(int descriptor, const FailureSite& site) {
    // The descriptor is released even when close reports an error; never retry.
    if (::close(descriptor) != 0 && errno != EINTR) {
        raiseSystemFailure(site, errno);
    }
}

bool isTerminal(int descriptor) {
    return ::isatty(descriptor) == 1;
}

void guardStandardDescriptors() {
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) == -1 && errno == EBADF) {
            const int opened = ::open("/dev/null", O_RDONLY);
            if (opened >= 0 && opened != descriptor) {
                ::dup2(opened, descriptor);
                ::close(opened);
            }
        }
    }
}

void ignoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

void writeToErrorStream(std::string_view text) {
    while (!text.empty()) {
        const ssize_t count = ::write(2, text.data(), text.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        text.remove_prefix(static_cast<std::size_t>(count));
    }
}

}  // namespace kvw::textio
