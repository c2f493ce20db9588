// Reads the bytes as a text file of records under an A edit, counting them as
// the loader does, then rewinds and counts again: both passes must agree.

#include <array>

#include "fuzz_common.h"
#include "textio/input.h"
#include "textio/connections.h"
#include "textio/run_failure.h"
#include "textio/output.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kvw::textio;
    if (size == 0) {
        return 0;
    }
    const int width = 1 + data[0] % 40;  // the first byte picks the width
    const kvw::fuzz::InWorkingDirectory inside;
    kvw::fuzz::writeFile("records.txt", data + 1, size - 1);
    try {
        TextConnection& file = openTextFile(kFileUnit, "records.txt", "UNKNOWN");
        std::array<char, 40> field{};
        std::size_t counts[2] = {0, 0};
        for (std::size_t& count : counts) {
            rewindTextFile(file);
            while (readCharacterRecord(file, width, std::span<char>(field.data(), 40)) == ReadResult::done) {
                if (++count > size) {
                    __builtin_trap();  // more records than bytes
                }
            }
        }
        if (counts[0] != counts[1]) {
            __builtin_trap();
        }
    } catch (const RunFailure&) {
        __builtin_trap();  // a readable regular file never fails
    }
    closeAllConnections();
    return 0;
}
