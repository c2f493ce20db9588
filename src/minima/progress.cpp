#include "minima/progress.h"

#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

namespace kvw::minima {

ProgressSettings errorStreamProgress(Clock::time_point start) {
    ProgressSettings settings;
    settings.start = start;
    if (isatty(STDERR_FILENO) == 1) {
        settings.out = &std::cerr;
    }
    return settings;
}

struct ProgressLine::Display {
    Display(const ProgressSettings& settings_, const std::atomic<std::size_t>& done_, std::size_t total_,
            std::string what_)
        : settings(settings_), done(done_), total(total_), what(std::move(what_)) {}

    ProgressSettings settings;
    const std::atomic<std::size_t>& done;
    std::size_t total;
    std::string what;
    std::size_t shownWidth = 0;  // of the line on the screen; the text is ASCII
    std::mutex lock;
    std::condition_variable wake;
    bool finished = false;
    std::thread thread;

    // The line is written whole, then padded over what is left of a longer
    // one, so that nothing else on the screen is touched.
    void draw(const std::string& text) {
        std::string line = "\r" + text;
        if (text.size() < shownWidth) {
            line += std::string(shownWidth - text.size(), ' ') + "\r" + text;
        }
        shownWidth = text.size();
        *settings.out << line << std::flush;
    }

    void run() {
        std::unique_lock<std::mutex> hold(lock);
        if (wake.wait_until(hold, settings.start + settings.delay, [this] { return finished; })) {
            return;
        }
        do {
            const double seconds = std::chrono::duration<double>(Clock::now() - settings.start).count();
            char text[160];
            std::snprintf(text, sizeof text, "kvw-minima: %zu/%zu %s, %.1f s",
                          done.load(std::memory_order_relaxed), total, what.c_str(), seconds);
            draw(text);
        } while (!wake.wait_for(hold, settings.period, [this] { return finished; }));
        if (shownWidth > 0) {
            *settings.out << '\r' << std::string(shownWidth, ' ') << '\r' << std::flush;
        }
    }
};

ProgressLine::ProgressLine(const ProgressSettings& settings, const std::atomic<std::size_t>& done,
                           std::size_t total, std::string what) {
    if (settings.out == nullptr || total < 2) {
        return;
    }
    display_ = std::make_unique<Display>(settings, done, total, std::move(what));
    try {
        display_->thread = std::thread([display = display_.get()] { display->run(); });
    } catch (const std::system_error&) {
        display_.reset();  // no thread to spare: the work goes on without a display
    }
}

ProgressLine::~ProgressLine() {
    if (!display_) {
        return;
    }
    {
        const std::lock_guard<std::mutex> hold(display_->lock);
        display_->finished = true;
    }
    display_->wake.notify_one();
    display_->thread.join();
}

}  // namespace kvw::minima
