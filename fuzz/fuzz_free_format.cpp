// Reads the bytes as an observation file: free-format statements of two reals
// until the end of the file or a failure.

#include <array>
#include <cmath>

#include "fuzz_common.h"
#include "textio/free_format.h"
#include "textio/input.h"
#include "textio/connections.h"
#include "textio/run_failure.h"
#include "textio/output.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kvw::textio;
    const kvw::fuzz::InWorkingDirectory inside;
    kvw::fuzz::writeFile("obs.dat", data, size);
    try {
        TextConnection& file = openTextFile(kFileUnit, "obs.dat", "UNKNOWN");
        std::array<double, 2> pair{};
        std::array<ItemOutcome, 2> outcomes{};
        // Each statement consumes at least one line end or the end of the file.
        for (std::size_t statement = 0; statement <= size + 1; ++statement) {
            if (readFreeFormatRecord(file, pair, outcomes) == ReadResult::endOfFile) {
                break;
            }
            if (statement == size + 1) {
                __builtin_trap();  // more statements than the file can hold: a reader that does not advance
            }
        }
    } catch (const RunFailure& failure) {
        if (failure.reason.empty()) {
            __builtin_trap();
        }
    }
    closeAllConnections();
    return 0;
}
