// Reads the bytes after the first (which picks the options) as an AAVSO extended file in memory.
#include "fuzz_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return kvw::fuzz::readFuzzed(data, size, kvw::readers::readAavsoExtended);
}
