// A whole run on the bytes as the observation file: every phase, in process,
// in a private directory; standard output goes to /dev/null. Any failure must
// be one of the typed ones that end a run.

#include <new>

#include "driver/run_program.h"
#include "fuzz_common.h"
#include "textio/connections.h"
#include "textio/run_failure.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvw::fuzz::silenceStandardOutput();
    const kvw::fuzz::InWorkingDirectory inside;
    kvw::fuzz::writeFile("obs.dat", data, size);
    try {
        kvw::driver::analyseObservationFile("obs.dat");
    } catch (const kvw::textio::RunFailure& failure) {
        if (failure.reason.empty()) {
            __builtin_trap();
        }
    } catch (const std::bad_alloc&) {
    }
    try {
        kvw::textio::closeAllConnections();
    } catch (const kvw::textio::RunFailure&) {
        __builtin_trap();  // /dev/null and a file in memory accept everything
    }
    return 0;
}
