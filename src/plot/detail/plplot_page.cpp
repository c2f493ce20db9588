#include "detail/plplot_page.h"

#include <fcntl.h>
#include <plplot/plplot.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/precondition.h"
#include "detail/drawing.h"
#include "plot/plot.h"

namespace kvw::plot::detail {

struct PlplotPage::State {
    std::string bytes;           // what the device wrote
    bool memoryExhausted = false;
    std::string abortMessage;    // PLplot's first complaint about a call
    bool plplotExited = false;   // PLplot gave up on the stream
    bool initialised = false;
    bool ended = false;
    FILE* file = nullptr;
    PLINT previousStream = 0;
    PLINT stream = -1;
};

namespace {

PlplotPage::State* activePage = nullptr;

// PLplot calls this before it would end the process; leaving by an exception
// keeps the process alive. The stream it was working on is abandoned.
int onPlplotExit(const char* message) {
    if (activePage != nullptr) {
        activePage->plplotExited = true;
    }
    throw PlotError(std::string("PLplot failed: ") + message);
}

// A rejected call: PLplot skips it and goes on. Kept to fail the picture
// afterwards, and kept off the error stream.
void onPlplotAbort(const char* message) {
    if (activePage != nullptr && activePage->abortMessage.empty()) {
        activePage->abortMessage = message;
    }
}

// The device's output goes to memory; the file is written afterwards, so
// that its errors are ours to report and no half picture is left behind by
// a failed drawing.
ssize_t writeToMemory(void* cookie, const char* data, size_t size) {
    auto* state = static_cast<PlplotPage::State*>(cookie);
    try {
        state->bytes.append(data, size);
        return static_cast<ssize_t>(size);
    } catch (const std::bad_alloc&) {
        state->memoryExhausted = true;
        return -1;
    }
}

const char* deviceName(Format format) {
    switch (format) {
        case Format::svg: return "svgcairo";
        case Format::pdf: return "pdfcairo";
        case Format::png: return "pngcairo";
    }
    return "";
}

// An unknown device would make PLplot prompt for one on standard output.
bool deviceAvailable(const char* name) {
    static const std::vector<std::string> names = [] {
        constexpr int kCapacity = 256;
        std::array<const char*, kCapacity> menu{};
        std::array<const char*, kCapacity> devices{};
        const char** menuEntries = menu.data();
        const char** deviceEntries = devices.data();
        int count = kCapacity;
        plgDevs(&menuEntries, &deviceEntries, &count);
        return std::vector<std::string>(deviceEntries, deviceEntries + std::clamp(count, 0, kCapacity));
    }();
    return std::find(names.begin(), names.end(), name) != names.end();
}

void setColours() {
    // background, ink, grey, blue, red, green, band, orange, light grey
    const std::array<PLINT, 9> red{255, 0, 140, 31, 200, 20, 220, 230, 245};
    const std::array<PLINT, 9> green{255, 0, 140, 90, 30, 140, 60, 120, 245};
    const std::array<PLINT, 9> blue{255, 0, 140, 190, 30, 40, 60, 0, 245};
    plscmap0n(16);
    plscmap0(red.data(), green.data(), blue.data(), static_cast<PLINT>(red.size()));
    plscol0a(kBand, 220, 60, 60, 0.22);
}

std::string escapeXml(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

void insertSvgMetadata(std::string& svg, const std::string& title, const std::string& description) {
    const auto root = svg.find("<svg");
    const auto rootEnd = root == std::string::npos ? root : svg.find('>', root);
    if (rootEnd == std::string::npos) {
        throw PlotError("PLplot wrote no SVG root element");
    }
    svg.insert(rootEnd + 1, "\n<title>" + escapeXml(cleanText(title)) + "</title>\n<desc>" +
                                escapeXml(cleanText(description)) + "</desc>");
}

// The picture is written beside the file under a name of its own and renamed
// over it once complete, so that a picture that cannot be written whole
// leaves an older one as it was.
void writeFile(const std::string& path, const std::string& bytes) {
    const auto failed = [&](int error) {
        return PlotError("cannot write " + path + ": " + std::strerror(error));
    };
    const std::filesystem::path target(path);
    const std::string stem = (target.parent_path() / (".kvw-picture-" + std::to_string(::getpid()))).string();
    std::string temporary;
    int file = -1;
    for (int attempt = 0; file < 0 && attempt < 100; ++attempt) {
        temporary = stem + "-" + std::to_string(attempt);
        file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file < 0 && errno != EEXIST) {
            throw failed(errno);
        }
    }
    if (file < 0) {
        throw failed(EEXIST);
    }
    int error = 0;
    for (std::size_t done = 0; done < bytes.size() && error == 0;) {
        const ssize_t written = ::write(file, bytes.data() + done, bytes.size() - done);
        if (written >= 0) {
            done += static_cast<std::size_t>(written);
        } else if (errno != EINTR) {
            error = errno;
        }
    }
    if (::close(file) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(temporary.c_str());
        throw failed(error);
    }
}

}  // namespace

Format formatOf(const std::string& path) {
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('/');
    std::string extension;
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        extension = path.substr(dot + 1);
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "svg") {
        return Format::svg;
    }
    if (extension == "pdf") {
        return Format::pdf;
    }
    if (extension == "png") {
        return Format::png;
    }
    throw PlotError("cannot draw " + path + ": the file name must end in .svg, .pdf or .png");
}

PlplotPage::PlplotPage(Format format, int width, int height) : state_(std::make_unique<State>()) {
    require(activePage == nullptr, "one picture drawn at a time");
    activePage = state_.get();
    plsexit(onPlplotExit);
    plsabort(onPlplotAbort);
    plgstrm(&state_->previousStream);
    try {
        const char* device = deviceName(format);
        if (!deviceAvailable(device)) {
            throw PlotError(std::string("PLplot has no '") + device + "' device (install plplot-driver-cairo)");
        }
        cookie_io_functions_t memory{};
        memory.write = writeToMemory;
        state_->file = fopencookie(state_.get(), "w", memory);
        if (state_->file == nullptr) {
            throw PlotError("cannot open a memory stream for PLplot");
        }
        plmkstrm(&state_->stream);
        if (state_->stream < 0) {
            throw PlotError("PLplot has no free stream");
        }
        plsdev(device);
        plsfile(state_->file);
        plspage(0, 0, width, height, 0, 0);
        setColours();
        plinit();
        state_->initialised = true;
    } catch (...) {
        abandon();
        throw;
    }
}

PlplotPage::~PlplotPage() { abandon(); }

void PlplotPage::abandon() {
    if (!state_ || state_->ended) {
        return;
    }
    state_->ended = true;
    const PLINT previousStream = state_->previousStream;
    if (state_->plplotExited) {
        // The stream may still refer to the memory stream and its state:
        // both are left to it.
        (void)state_.release();
    } else {
        if (state_->stream >= 0) {
            plend1();  // closes the memory stream once the device has it
        }
        if (!state_->initialised && state_->file != nullptr) {
            std::fclose(state_->file);
        }
    }
    plsstrm(previousStream);
    plsexit(nullptr);
    plsabort(nullptr);
    activePage = nullptr;
}

void PlplotPage::finish(const std::string& path, const std::string& title, const std::string& description) {
    plend1();
    state_->ended = true;
    plsstrm(state_->previousStream);
    plsexit(nullptr);
    plsabort(nullptr);
    activePage = nullptr;

    if (!state_->abortMessage.empty()) {
        throw PlotError("PLplot rejected a call: " + state_->abortMessage);
    }
    if (state_->memoryExhausted) {
        throw std::bad_alloc();
    }
    if (state_->bytes.empty()) {
        throw PlotError("PLplot wrote nothing for " + path);
    }
    if (formatOf(path) == Format::svg) {
        insertSvgMetadata(state_->bytes, title, description);
    }
    writeFile(path, state_->bytes);
}

}  // namespace kvw::plot::detail
