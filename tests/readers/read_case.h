// Shared by the reader tests: a text read in memory and the light curve or
// the message expected of it.
#pragma once

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "readers/light_curve.h"

namespace kvw::readers::testing {

using Reader = std::function<LightCurve(std::string_view, const std::string&, const ReadOptions&)>;

struct ReadCase {
    const char* what;
    std::string content;
    ReadOptions options;
    std::vector<double> times;
    std::vector<double> magnitudes;
    std::vector<double> errors;  // NaN where a point has none
    std::vector<std::string> notes;
};

struct BadCase {
    const char* what;
    std::string content;
    ReadOptions options;
    std::string message;
};

// Equal values, NaN equal to NaN.
inline void expectSameValues(const std::vector<double>& actual, const std::vector<double>& expected,
                             const char* what, const char* which) {
    ASSERT_EQ(actual.size(), expected.size()) << what << ": " << which;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (std::isnan(expected[i])) {
            EXPECT_TRUE(std::isnan(actual[i])) << what << ": " << which << "[" << i << "]";
        } else {
            EXPECT_EQ(actual[i], expected[i]) << what << ": " << which << "[" << i << "]";
        }
    }
}

inline void expectCurve(const LightCurve& curve, const ReadCase& c) {
    expectSameValues(curve.times, c.times, c.what, "times");
    expectSameValues(curve.magnitudes, c.magnitudes, c.what, "magnitudes");
    expectSameValues(curve.errors, c.errors, c.what, "errors");
    EXPECT_EQ(curve.notes, c.notes) << c.what;
}

inline void expectReads(const Reader& read, const std::string& source, const std::vector<ReadCase>& cases) {
    for (const ReadCase& c : cases) {
        try {
            const LightCurve curve = read(c.content, source, c.options);
            EXPECT_EQ(curve.source, source);
            expectCurve(curve, c);
        } catch (const ReadError& error) {
            ADD_FAILURE() << c.what << ": " << error.what();
        }
    }
}

inline void expectFails(const Reader& read, const std::string& source, const std::vector<BadCase>& cases) {
    for (const BadCase& c : cases) {
        try {
            read(c.content, source, c.options);
            ADD_FAILURE() << c.what << ": read without a failure";
        } catch (const ReadError& error) {
            EXPECT_EQ(error.what(), c.message) << c.what;
        }
    }
}

}  // namespace kvw::readers::testing
