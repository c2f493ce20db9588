// The run's tables of doubles. Their storage comes from malloc rather than
// operator new, so that a lack of memory is always a recoverable failure
// (std::bad_alloc), even under a sanitizer's allocator.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

namespace kvw::analysis {

template <typename T>
struct MallocAllocator {
    using value_type = T;

    MallocAllocator() = default;
    template <typename U>
    MallocAllocator(const MallocAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) {
            throw std::bad_alloc();
        }
        if (void* memory = std::malloc(count * sizeof(T))) {
            return static_cast<T*>(memory);
        }
        throw std::bad_alloc();
    }
    void deallocate(T* memory, std::size_t) noexcept { std::free(memory); }

    template <typename U>
    bool operator==(const MallocAllocator<U>&) const noexcept {
        return true;
    }
};

// Entries are counted from 0 here: T(i) of the method is times[i - 1].
using Table = std::vector<double, MallocAllocator<double>>;

// Indices and counts: segments, grid points, pair counts.
using IndexTable = std::vector<std::int32_t, MallocAllocator<std::int32_t>>;

}  // namespace kvw::analysis
