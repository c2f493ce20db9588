#include "support/whole_run.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "driver/run_program.h"

namespace kvw::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device device;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path() / ("kvw-test-" + std::to_string(device()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            // Open to every user, so that a run as an unprivileged user can work here.
            fs::permissions(path_, fs::perms::all);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ignored;
    // Directories made read-only by a test must be writable again to be removed.
    for (auto it = fs::recursive_directory_iterator(path_, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

void TempDir::write(std::string_view name, std::string_view bytes) const {
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + std::string(name));
    }
}

std::string TempDir::read(std::string_view name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + std::string(name));
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool TempDir::exists(std::string_view name) const {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path_ / name, ignored));
}

namespace {

[[noreturn]] void childFails(const char* what) {
    const int error = errno;
    const std::string text = std::string("child of the test: ") + what + ": " + std::strerror(error) + "\n";
    (void)!::write(2, text.data(), text.size());
    _exit(127);
}

void setNonBlocking(int descriptor) {
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
}

bool isSanitizerSetting(const std::string& entry) {
    return entry.rfind("ASAN_OPTIONS=", 0) == 0 || entry.rfind("UBSAN_OPTIONS=", 0) == 0 ||
           entry.rfind("LSAN_OPTIONS=", 0) == 0;
}

// A small fixed environment. The sanitizers' settings of the test run reach
// the program; a test's own settings for them are added after those, so that
// they take effect.
std::vector<std::string> childEnvironment(const RunOptions& options) {
    std::vector<std::string> environment = {"PATH=/usr/bin:/bin", "LC_ALL=C"};
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        std::string value = std::getenv(name) ? std::getenv(name) : "";
        const std::string prefix = std::string(name) + "=";
        for (const std::string& entry : options.environment) {
            if (entry.rfind(prefix, 0) == 0) {
                if (!value.empty()) {
                    value += ':';
                }
                value.append(entry, prefix.size());
            }
        }
        if (!value.empty()) {
            environment.push_back(prefix + value);
        }
    }
    for (const std::string& entry : options.environment) {
        if (!isSanitizerSetting(entry)) {
            environment.push_back(entry);
        }
    }
    return environment;
}

struct Pipes {
    int input[2];
    int output[2];
    int errors[2];
};

// In the child: standard output as the options say (closed, a pipe nobody
// reads, a file, or the pipe to the test).
void connectChildOutput(const Pipes& pipes, const RunOptions& options) {
    if (options.closeOutput) {
        ::close(1);
    } else if (options.brokenOutputPipe) {
        int broken[2];
        if (::pipe(broken) != 0) {
            childFails("pipe");
        }
        ::close(broken[0]);
        ::dup2(broken[1], 1);
        ::close(broken[1]);
    } else if (!options.outputPath.empty()) {
        const int file = ::open(options.outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (file < 0) {
            childFails("open the output path");
        }
        ::dup2(file, 1);
        ::close(file);
    } else {
        ::dup2(pipes.output[1], 1);
    }
}

// In the child: the address-space and file-size limits and the unprivileged user.
void restrictChild(const RunOptions& options) {
    for (const auto& [resource, bytes] : {std::pair{RLIMIT_AS, options.addressSpaceLimit},
                                          std::pair{RLIMIT_FSIZE, options.fileSizeLimit}}) {
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(bytes);
        if (bytes > 0 && ::setrlimit(resource, &limit) != 0) {
            childFails("setrlimit");
        }
    }
    if (options.unprivileged && ::geteuid() == 0) {
        const gid_t nobodyGroup = 65534;
        const uid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobodyGroup) != 0 || ::setuid(nobody) != 0) {
            childFails("drop privileges");
        }
    }
}

// The words of the command and of its environment, made before the fork so
// that the child allocates nothing.
struct Command {
    std::vector<std::string> words;
    std::vector<std::string> environment;
    std::vector<char*> argv;
    std::vector<char*> envp;

    Command(const std::string& binary, const std::vector<std::string>& arguments, const RunOptions& options)
        : environment(childEnvironment(options)) {
        words.push_back(binary);
        words.insert(words.end(), arguments.begin(), arguments.end());
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        for (std::string& entry : environment) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
    }
};

[[noreturn]] void execChild(Command& command, const fs::path& directory, const Pipes& pipes,
                            const RunOptions& options) {
    if (::chdir(directory.c_str()) != 0) {
        childFails("chdir");
    }
    if (options.closeInput) {
        ::close(0);
    } else {
        ::dup2(pipes.input[0], 0);
    }
    connectChildOutput(pipes, options);
    ::dup2(pipes.errors[1], 2);
    for (int descriptor :
         {pipes.input[0], pipes.input[1], pipes.output[0], pipes.output[1], pipes.errors[0], pipes.errors[1]}) {
        ::close(descriptor);
    }
    restrictChild(options);
    // The program must look after SIGPIPE itself: start it with the default action.
    ::signal(SIGPIPE, SIG_DFL);
    ::execve(command.argv[0], command.argv.data(), command.envp.data());
    childFails("execve");
}

// In the test: feeds standard input and collects the two output streams until
// both are closed or the time is up.
void exchangeWithChild(pid_t child, const Pipes& pipes, const RunOptions& options, RunResult& result) {
    setNonBlocking(pipes.input[1]);
    setNonBlocking(pipes.output[0]);
    setNonBlocking(pipes.errors[0]);
    std::string_view pending = options.input;
    int inputEnd = pipes.input[1];
    if (pending.empty()) {
        ::close(inputEnd);
        inputEnd = -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(options.timeoutSeconds);
    bool outputOpen = true;
    bool errorsOpen = true;
    signal(SIGPIPE, SIG_IGN);
    while (outputOpen || errorsOpen) {
        pollfd watched[3];
        int count = 0;
        if (outputOpen) watched[count++] = {pipes.output[0], POLLIN, 0};
        if (errorsOpen) watched[count++] = {pipes.errors[0], POLLIN, 0};
        if (inputEnd >= 0) watched[count++] = {inputEnd, POLLOUT, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(child, SIGKILL);
            break;
        }
        if (::poll(watched, static_cast<nfds_t>(count), static_cast<int>(std::min<long long>(left.count(), 1000))) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        char buffer[65536];
        for (int i = 0; i < count; ++i) {
            if (watched[i].revents == 0) continue;
            if (watched[i].fd == inputEnd) {
                const ssize_t written = ::write(inputEnd, pending.data(), pending.size());
                if (written > 0) pending.remove_prefix(static_cast<std::size_t>(written));
                if (written < 0 && errno != EAGAIN) pending = {};
                if (pending.empty()) {
                    ::close(inputEnd);
                    inputEnd = -1;
                }
                continue;
            }
            const ssize_t got = ::read(watched[i].fd, buffer, sizeof buffer);
            std::string& sink = watched[i].fd == pipes.output[0] ? result.output : result.errors;
            if (got > 0) {
                sink.append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EAGAIN) {
                (watched[i].fd == pipes.output[0] ? outputOpen : errorsOpen) = false;
            }
        }
    }
    if (inputEnd >= 0) ::close(inputEnd);
    ::close(pipes.output[0]);
    ::close(pipes.errors[0]);
}

void waitForChild(pid_t child, RunResult& result) {
    int status = 0;
    struct rusage usage {};
    while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    result.peakMemoryKb = usage.ru_maxrss;
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
}

}  // namespace

RunResult runBinary(const std::string& binary, const std::vector<std::string>& arguments, const fs::path& directory,
                    const RunOptions& options) {
    Command command(binary, arguments, options);
    Pipes pipes;
    const bool errorsOpened = options.errorsOnTerminal
                                  ? ::openpty(&pipes.errors[0], &pipes.errors[1], nullptr, nullptr, nullptr) == 0
                                  : ::pipe(pipes.errors) == 0;
    if (::pipe(pipes.input) != 0 || ::pipe(pipes.output) != 0 || !errorsOpened) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t child = ::fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        execChild(command, directory, pipes, options);
    }
    ::close(pipes.input[0]);
    ::close(pipes.output[1]);
    ::close(pipes.errors[1]);
    RunResult result;
    exchangeWithChild(child, pipes, options, result);
    waitForChild(child, result);
    return result;
}

RunResult runKvw(const fs::path& directory, const RunOptions& options) {
    return runBinary(KVW_BINARY, {}, directory, options);
}

std::string openingScreen() {
    std::string screen;
    for (int line = 0; line < 26; ++line) {
        screen += "\r\n";
    }
    screen += " " + driver::kIdentificationLine1 + "\r\n";
    screen += " " + driver::kIdentificationLine2 + "\r\n";
    screen += "\r\n";
    screen += "   ENTER INPUT FILE ! (EG.:CW-CEP.DAT) \r\n";
    return screen;
}

namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

std::string reasonOf(const RunResult& result) {
    const std::string prefix = "kvw run-time error: ";
    const auto lines = linesOf(result.errors);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->rfind(prefix, 0) == 0) {
            return it->substr(prefix.size());
        }
    }
    return "";
}

std::string unitAndFileOf(const RunResult& result) {
    for (const std::string& line : linesOf(result.errors)) {
        if (line.rfind("At line ", 0) == 0) {
            const auto open = line.find(" (unit = ");
            if (open != std::string::npos) {
                return line.substr(open + 1);
            }
        }
    }
    return "";
}

bool sanitizedBuild() {
#ifdef KVW_SANITIZED
    return true;
#else
    return false;
#endif
}

}  // namespace kvw::testing
