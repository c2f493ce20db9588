// Loading observation files from a temporary working directory.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/observation_file.h"
#include "support/whole_run.h"
#include "textio/connections.h"
#include "textio/run_failure.h"

namespace {

using kvw::driver::loadObservations;
using kvw::driver::ObservationSeries;

class LoadObservations : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
    }
    void TearDown() override {
        kvw::textio::closeAllConnections();
        std::filesystem::current_path(previous_);
    }

    ObservationSeries load(const std::string& bytes) {
        dir_.write("obs.dat", bytes);
        return loadObservations("obs.dat", storage_);
    }

    // The reason of the failure that loading `bytes` ends with.
    std::string failureOf(const std::string& bytes) {
        try {
            load(bytes);
        } catch (const kvw::textio::RunFailure& failure) {
            return failure.reason;
        }
        return "no failure";
    }

    kvw::testing::TempDir dir_;
    std::filesystem::path previous_;
    kvw::analysis::WorkingStorage storage_;
};

std::vector<double> asVector(const kvw::analysis::Table& table) { return {table.begin(), table.end()}; }

TEST_F(LoadObservations, TwentyLinesInFileOrder) {
    std::string bytes;
    std::vector<double> times;
    std::vector<double> magnitudes;
    for (int i = 0; i < 20; ++i) {
        const std::string t = "2459000." + std::to_string(1000 + 37 * i);
        const std::string m = "10." + std::to_string(100 + (i * 53) % 900);
        bytes += t + (i % 2 ? "\t" : " ") + m + "\r\n";
        times.push_back(std::strtod(t.c_str(), nullptr));
        magnitudes.push_back(std::strtod(m.c_str(), nullptr));
    }
    const ObservationSeries s = load(bytes);
    EXPECT_EQ(s.times.size(), 20u);
    EXPECT_EQ(asVector(s.times), times);
    EXPECT_EQ(asVector(s.magnitudes), magnitudes);
    EXPECT_EQ(s.source, "obs.dat");
}

struct LayoutCase {
    const char* name;
    std::string bytes;
    std::vector<double> times;
    std::vector<double> magnitudes;
};

TEST_F(LoadObservations, LineLayouts) {
    const std::vector<LayoutCase> cases = {
        {"third number ignored", "0.5 10 99\n1.5 11\n", {0.5, 1.5}, {10, 11}},
        {"comma and semicolon separators", "0.5,10\n1.5;11\n2.5 , 12\n", {0.5, 1.5, 2.5}, {10, 11, 12}},
        // The second value comes from the next line, whose rest is skipped.
        {"one number lends from the next line", "0 10\n0.5\n10.5 99\n1 11\n", {0, 0.5, 1}, {10, 10.5, 11}},
        {"blank last line", "0 10\n1 11\n\n", {0, 1}, {10, 11}},
        {"blank lines before and between", "\n0 10\n  \n\n1 11\n2 12\n", {0, 1, 2}, {10, 11, 12}},
        {"no line end at the end", "0 10\n1 11", {0, 1}, {10, 11}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ObservationSeries s = load(c.bytes);
        EXPECT_EQ(s.times.size(), c.times.size());
        EXPECT_EQ(asVector(s.times), c.times);
        EXPECT_EQ(asVector(s.magnitudes), c.magnitudes);
    }
}

TEST_F(LoadObservations, TooFewObservations) {
    for (const char* bytes : {"", "\n\n", "1 10\n", "1 10\n2\n"}) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(failureOf(bytes).rfind("Too few observations", 0), 0u);
    }
}

TEST_F(LoadObservations, MissingFileIsCreatedEmptyAndSaidToBe) {
    try {
        loadObservations("CW-CEPX.DAT", storage_);
        ADD_FAILURE() << "no failure";
    } catch (const kvw::textio::RunFailure& failure) {
        EXPECT_EQ(failure.reason, "Too few observations: 'CW-CEPX.DAT' did not exist and was created empty");
        EXPECT_EQ(failure.status, 2);
    }
    EXPECT_EQ(dir_.read("CW-CEPX.DAT"), "");
    // An empty file that was there already is only too short.
    EXPECT_EQ(failureOf(""), "Too few observations: 0 complete time and magnitude pair(s) in the file, at least 2 needed");
}

TEST_F(LoadObservations, BadRecords) {
    EXPECT_EQ(failureOf("0 10\n1.0,,2.0\n2 11\n"), "Null value in item 2 of list input");
    EXPECT_EQ(failureOf("TIME MAG\n0 10\n1 11\n"), "Bad real number in item 1 of list input");
}

}  // namespace
