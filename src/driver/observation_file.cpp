#include "driver/observation_file.h"

#include <array>
#include <limits>

#include "textio/free_format.h"
#include "textio/input.h"
#include "textio/run_failure.h"
#include "textio/source_location.h"

namespace kvw::driver {

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

// Every table of the run, reserved at once for n observations.
void reserveStorage(ObservationSeries& series, analysis::WorkingStorage& storage, std::int32_t lines) {
    const auto n = static_cast<std::size_t>(lines);
    series.times.reserve(n);
    series.magnitudes.reserve(n);
    analysis::reserveWorkingStorage(storage, n);
}

// The reason when fewer than two complete observations were read.
std::string tooFewObservations(const std::string& name, bool created, std::size_t count) {
    if (created) {
        return "Too few observations: '" + name + "' did not exist and was created empty";
    }
    return "Too few observations: " + std::to_string(count) +
           " complete time and magnitude pair(s) in the file, at least 2 needed";
}

}  // namespace

ObservationSeries loadObservations(std::string_view fileName, analysis::WorkingStorage& storage) {
    textio::TextConnection& file = textio::openTextFile(textio::kFileUnit, fileName, "UNKNOWN");
    if (!file.regular) {
        // Both passes need a file that can be read again from its start.
        textio::raiseFailure(file.site(textio::SourceLocation::current()),
                             "'" + file.name + "' is not a regular file");
    }
    textio::rewindTextFile(file);
    const std::int32_t lines = countLines(file);
    ObservationSeries series;
    reserveStorage(series, storage, lines);
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
    const bool created = file.created;
    textio::closeTextFile(file);

    if (series.times.size() < 2) {
        textio::raiseFailure({textio::SourceLocation::current(), textio::kFileUnit, series.source},
                             tooFewObservations(series.source, created, series.times.size()));
    }
    return series;
}

}  // namespace kvw::driver
