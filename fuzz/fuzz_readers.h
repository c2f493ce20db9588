// Shared by the fuzz targets of the readers: options picked by the first byte
// of the input, and the checks every light curve and failure must pass.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "readers/light_curve.h"

namespace kvw::fuzz {

inline constexpr const char* kSource = "fuzzed";

// The first byte picks the options; the rest is the file's content.
inline readers::ReadOptions optionsFrom(std::string_view& content) {
    readers::ReadOptions options;
    if (content.empty()) {
        return options;
    }
    const auto pick = static_cast<unsigned char>(content.front());
    content.remove_prefix(1);
    static const char* const kColumns[] = {"", "1", "2", "3", "time", "mag", "flux", "PDCSAP_FLUX"};
    options.timeColumn = kColumns[pick & 1 ? 4 : 0];
    (pick & 2 ? options.fluxColumn : options.magColumn) = kColumns[(pick >> 2) & 7];
    options.errorColumn = pick & 32 ? "3" : "";
    options.band = pick & 64 ? "V" : "";
    return options;
}

// Traps unless the light curve keeps the readers' promises.
inline void checkCurve(const readers::LightCurve& curve) {
    const std::size_t count = curve.times.size();
    if (count < 2 || curve.magnitudes.size() != count || (!curve.errors.empty() && curve.errors.size() != count) ||
        curve.source != kSource) {
        __builtin_trap();
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(curve.times[i]) || !std::isfinite(curve.magnitudes[i]) ||
            (i > 0 && curve.times[i] < curve.times[i - 1])) {
            __builtin_trap();
        }
    }
}

// Traps unless a failure names the source.
inline void checkFailure(const readers::ReadError& failure) {
    if (!std::string_view(failure.what()).starts_with(kSource)) {
        __builtin_trap();
    }
}

template <typename Reader>
int readFuzzed(const std::uint8_t* data, std::size_t size, Reader read) {
    std::string_view content(reinterpret_cast<const char*>(data), size);
    const readers::ReadOptions options = optionsFrom(content);
    try {
        checkCurve(read(content, kSource, options));
    } catch (const readers::ReadError& failure) {
        checkFailure(failure);
    }
    return 0;
}

}  // namespace kvw::fuzz
