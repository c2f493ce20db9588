// Shared by the fuzz targets: a private working directory and a file holding
// the fuzzer's bytes.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace kvw::fuzz {

// A directory of this process's own, made once: in memory where the system
// offers it, since every input writes a file.
inline const std::string& workingDirectory() {
    static const std::string directory = [] {
        char inMemory[] = "/dev/shm/kvw-fuzz-XXXXXX";
        char onDisk[] = "/tmp/kvw-fuzz-XXXXXX";
        const char* made = ::mkdtemp(inMemory);
        if (made == nullptr) {
            made = ::mkdtemp(onDisk);
        }
        if (made == nullptr) {
            std::abort();
        }
        return std::string(made);
    }();
    return directory;
}

// Enters the working directory for one input and returns to where the fuzzer
// was, so that its corpus paths keep their meaning.
class InWorkingDirectory {
public:
    InWorkingDirectory() : previous_(::open(".", O_RDONLY | O_DIRECTORY)) {
        if (previous_ < 0 || ::chdir(workingDirectory().c_str()) != 0) {
            std::abort();
        }
    }
    ~InWorkingDirectory() {
        if (::fchdir(previous_) != 0) {
            std::abort();
        }
        ::close(previous_);
    }
    InWorkingDirectory(const InWorkingDirectory&) = delete;
    InWorkingDirectory& operator=(const InWorkingDirectory&) = delete;

private:
    int previous_;
};

// Writes the bytes to a file of the working directory (entered by the caller).
inline void writeFile(const char* name, const std::uint8_t* data, std::size_t size) {
    const int file = ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0) {
        std::abort();
    }
    while (size > 0) {
        const ssize_t written = ::write(file, data, size);
        if (written <= 0) {
            std::abort();
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    ::close(file);
}

// Standard output goes to /dev/null, so that records written by the code under
// test do not flood the fuzzer's console.
inline void silenceStandardOutput() {
    static const bool done = [] {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::close(null);
        return true;
    }();
    (void)done;
}

}  // namespace kvw::fuzz
