// A file's bytes, read without ever creating it, and its format by content.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string_view>
#include <system_error>

#include "detail/text_fields.h"
#include "readers/light_curve.h"

namespace kvw::readers {

namespace {

using namespace detail;

// Far more than the largest light curve observers have (a TESS sector at
// 20-second cadence is some tens of megabytes, a whole Kepler mission at one
// minute a few hundred as text), far less than a machine's memory: what a
// reader holds is bounded, whatever the file.
constexpr std::size_t kLargestFile = std::size_t{512} << 20;
constexpr std::size_t kLongestLine = std::size_t{4} << 20;

// Formats known by their first bytes hold binary data.
bool isBinaryFormat(std::string_view content) {
    return content.starts_with("SIMPLE  =") || content.starts_with("\x1F\x8B");
}

bool isLineEnd(char c) {
    return c == '\n' || c == '\r';
}

// Refuses text with a NUL byte (a binary file, or text in UTF-16) or a line
// longer than kLongestLine, checking the bytes from `checked` on (a chunk
// shorter than a line may be), so that an endless device is refused at its
// first chunk. `lineLength` is the length of the line the last chunk ended in.
void checkText(const std::string& path, std::string_view content, std::size_t& checked, std::size_t& lineLength) {
    const std::string_view chunk = content.substr(checked);
    const std::size_t nul = chunk.find('\0');
    if (nul != std::string_view::npos) {
        throw ReadError(path + ": a NUL byte at byte " + std::to_string(checked + nul + 1) +
                        ": not a text table (a binary file, or text saved as UTF-16?)");
    }
    const std::size_t firstEnd = std::find_if(chunk.begin(), chunk.end(), isLineEnd) - chunk.begin();
    const std::size_t lastEnd = chunk.rend() - std::find_if(chunk.rbegin(), chunk.rend(), isLineEnd);
    if (lineLength + firstEnd > kLongestLine || chunk.size() - lastEnd > kLongestLine) {
        throw ReadError(path + ": a line longer than " + std::to_string(kLongestLine >> 20) +
                        " MB: not a text table");
    }
    lineLength = lastEnd == 0 ? lineLength + chunk.size() : chunk.size() - lastEnd;
    checked = content.size();
}

std::string contentOf(const std::string& path) {
    const auto failure = [&](const char* doing) {
        const int number = errno;
        return FileError(path + ": cannot " + doing + ": " + std::system_category().message(number), number);
    };
    const auto tooLarge = [&] {
        return ReadError(path + ": larger than " + std::to_string(kLargestFile >> 20) +
                         " MB, more than any light curve: not read");
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
        throw FileError(path + ": is a directory, not a file", EISDIR);
    }
    std::string content;
    if (S_ISREG(status.st_mode)) {
        if (static_cast<std::uintmax_t>(status.st_size) > kLargestFile) {
            throw tooLarge();
        }
        content.reserve(static_cast<std::size_t>(status.st_size));
    }
    std::size_t checked = 0;
    std::size_t lineLength = 0;
    char buffer[1 << 16];
    while (true) {
        const ssize_t count = ::read(file, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw failure("read it");
        }
        content.append(buffer, static_cast<std::size_t>(count));
        if (content.size() > kLargestFile) {
            throw tooLarge();
        }
        if (!isBinaryFormat(content) && (count == 0 || content.size() >= 9)) {
            checkText(path, content, checked, lineLength);
        }
        if (count == 0) {
            return content;
        }
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
    if (content.starts_with("\x1F\x8B")) {
        throw ReadError(path + ": a compressed (gzip) file: uncompress it first");
    }
    const std::string type = content.starts_with("SIMPLE  =") ? std::string() : aavsoType(content);
    if (type == "EXTENDED") {
        return readAavsoExtended(content, path, options);
    }
    if (!type.empty()) {
        throw ReadError(path + ": an AAVSO file of type " + quoted(type) +
                        ": only the extended format (#TYPE=EXTENDED) is read");
    }
    LightCurve curve = content.starts_with("SIMPLE  =") ? readFits(content, path, options)
                                                        : readTextTable(content, path, options);
    if (!trimBlanks(options.band).empty()) {
        curve.notes.push_back("the band " + quoted(trimBlanks(options.band)) +
                              " is not used: only AAVSO extended exports have bands");
    }
    return curve;
}

}  // namespace kvw::readers
