// Work shared among threads that each take the next item until none is left.
#pragma once

#include <cstddef>
#include <system_error>
#include <thread>
#include <vector>

namespace kvw {

// Runs `work` on `count` threads, this one included, and returns when every
// one has returned; on fewer when the system gives no more threads (the
// others and this one then do the work). `work` must not throw.
template <typename Work>
void runOnThreads(const Work& work, std::size_t count) {
    std::vector<std::thread> workers;
    for (std::size_t i = 1; i < count; ++i) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
}

}  // namespace kvw
