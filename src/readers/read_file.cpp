// A file's bytes, read without ever creating it, and its format by content.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "detail/text_fields.h"
#include "readers/light_curve.h"

namespace kvw::readers {

namespace {

using namespace detail;

std::string contentOf(const std::string& path) {
    const auto failure = [&](const char* doing) {
        return ReadError(path + ": cannot " + doing + ": " + std::system_category().message(errno));
    };
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (file < 0) {
        throw failure("open it");
    }
    struct Closer {
        int file;
        ~Closer() { ::close(file); }
    } closer{file};
    struct stat status {};
    if (::fstat(file, &status) != 0) {
        throw failure("read it");
    }
    if (S_ISDIR(status.st_mode)) {
        throw ReadError(path + ": is a directory, not a file");
    }
    std::string content;
    if (S_ISREG(status.st_mode)) {
        content.reserve(static_cast<std::size_t>(status.st_size));
    }
    char buffer[1 << 16];
    while (true) {
        const ssize_t count = ::read(file, buffer, sizeof buffer);
        if (count == 0) {
            return content;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw failure("read it");
        }
        content.append(buffer, static_cast<std::size_t>(count));
    }
}

// The value of a #TYPE= line among the comment lines before the first data
// row, upper case and without blanks; empty when there is none.
std::string aavsoType(std::string_view content) {
    for (const Line& line : splitLines(content)) {
        if (!isBlankOrComment(line.text)) {
            break;
        }
        std::string compact;
        for (const char c : line.text) {
            if (c != ' ' && c != '\t') {
                compact += c;
            }
        }
        compact = upperCase(compact);
        if (compact.starts_with("#TYPE=")) {
            return compact.substr(6);
        }
    }
    return {};
}

}  // namespace

LightCurve readLightCurve(const std::string& path, const ReadOptions& options, FitsReader readFits) {
    const std::string content = contentOf(path);
    if (content.starts_with("SIMPLE  =")) {
        return readFits(content, path, options);
    }
    if (content.starts_with("\x1F\x8B")) {
        throw ReadError(path + ": a compressed (gzip) file: uncompress it first");
    }
    const std::string type = aavsoType(content);
    if (type == "EXTENDED") {
        return readAavsoExtended(content, path, options);
    }
    if (!type.empty()) {
        throw ReadError(path + ": an AAVSO file of type " + quoted(type) +
                        ": only the extended format (#TYPE=EXTENDED) is read");
    }
    return readTextTable(content, path, options);
}

}  // namespace kvw::readers
