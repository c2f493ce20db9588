#include "analysis/observations.h"

#include <array>
#include <cerrno>
#include <limits>
#include <new>

#include "textio/free_format.h"
#include "textio/input.h"
#include "textio/io_failure.h"
#include "textio/source_location.h"

namespace kvw::analysis {

namespace {

using textio::ItemOutcome;
using textio::ReadResult;

constexpr int kCountingWidth = 40;

// Lines in the file: every record counts, blank ones too.
std::int32_t countLines(textio::TextConnection& file) {
    std::array<char, kCountingWidth> scratch;
    std::int64_t lines = 0;
    while (textio::readCharacterRecord(file, kCountingWidth, scratch) == ReadResult::done) {
        if (++lines > std::numeric_limits<std::int32_t>::max()) {
            textio::raiseFailure(file.site(textio::SourceLocation::current()),
                                 "More than 2147483647 lines in the observation file");
        }
    }
    return static_cast<std::int32_t>(lines);
}

LoadedObservations reserveStorage(std::int32_t lines) {
    // Sizes in 64 bits: n, 2n + 9 grid points and 4n + 15 trials.
    const auto n = static_cast<std::size_t>(lines);
    try {
        LoadedObservations loaded;
        loaded.series.times.reserve(n);
        loaded.series.magnitudes.reserve(n);
        loaded.storage.gridTimes.reserve(2 * n + 9);
        loaded.storage.gridMagnitudes.reserve(2 * n + 9);
        loaded.storage.sums.reserve(4 * n + 15);
        loaded.storage.trialTimes.reserve(4 * n + 15);
        return loaded;
    } catch (const std::bad_alloc&) {
        throw textio::OutOfMemory(textio::systemErrorText(ENOMEM));
    }
}

}  // namespace

LoadedObservations loadObservations(std::string_view fileName) {
    textio::TextConnection& file = textio::openTextFile(textio::kFileUnit, fileName, "UNKNOWN");
    if (!file.regular) {
        // Both passes need a file that can be read again from its start.
        textio::raiseFailure(file.site(textio::SourceLocation::current()),
                             "'" + file.name + "' is not a regular file");
    }
    textio::rewindTextFile(file);
    const std::int32_t lines = countLines(file);
    LoadedObservations loaded = reserveStorage(lines);
    ObservationSeries& series = loaded.series;
    series.source = file.name;
    textio::rewindTextFile(file);

    std::array<double, 2> pair{};
    std::array<ItemOutcome, 2> outcomes{};
    for (std::int32_t record = 0; record < lines; ++record) {
        const ReadResult result = textio::readFreeFormatRecord(file, pair, outcomes);
        for (std::size_t item = 0; item < outcomes.size(); ++item) {
            if (outcomes[item] == ItemOutcome::null) {
                textio::raiseFailure(file.site(textio::SourceLocation::current()),
                                     "Null value in item " + std::to_string(item + 1) + " of list input");
            }
        }
        if (outcomes[0] == ItemOutcome::assigned && outcomes[1] == ItemOutcome::assigned) {
            series.times.push_back(pair[0]);
            series.magnitudes.push_back(pair[1]);
        }
        if (result == ReadResult::endOfFile) {
            break;
        }
    }
    series.count = static_cast<std::int32_t>(series.times.size());
    textio::closeTextFile(file);

    if (series.count < 2) {
        throw textio::IoFailure(textio::SourceLocation::current(), textio::kFileUnit, series.source,
                                "Too few observations: " + std::to_string(series.count) +
                                    " complete time and magnitude pair(s) in the file, at least 2 needed");
    }
    return loaded;
}

}  // namespace kvw::analysis
