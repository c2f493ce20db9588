// ludcmp and lubksb: pivoting, interchanges, the zero-pivot replacement and
// the "Singular matrix." record the console program writes for each all-zero
// row, on small systems with hand-derived results.
#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/run_program.h"
#include "linalg/lu.h"
#include "textio/connections.h"
#include "support/whole_run.h"
#include "textio/output.h"

namespace {

using kvw::linalg::lubksb;
using kvw::linalg::ludcmp;
using kvw::linalg::TINY_PIVOT;
using Rows = std::vector<std::vector<double>>;

// Column-major storage with column length np; entries outside the n-by-n
// block hold `filler`.
std::vector<double> columnMajor(const Rows& rows, int np, double filler = 0.0) {
    const int n = static_cast<int>(rows.size());
    std::vector<double> a(static_cast<std::size_t>(np * n), filler);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            a[static_cast<std::size_t>(i + j * np)] = rows[i][j];
        }
    }
    return a;
}

// Everything that `action` writes on file descriptor 1.
std::string captureStandardOutput(const std::function<void()>& action) {
    kvw::textio::closeAllConnections();
    std::fflush(stdout);
    const kvw::testing::TempDir dir;
    const std::string path = (dir / "stdout.txt").string();
    const int saved = dup(1);
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    EXPECT_GE(saved, 0);
    EXPECT_GE(file, 0);
    dup2(file, 1);
    close(file);
    action();
    kvw::textio::closeAllConnections();
    dup2(saved, 1);
    close(saved);
    return dir.read("stdout.txt");
}

struct Decomposed {
    std::vector<double> a;
    std::vector<int> pivots;
    double parity = 0;
    std::string output;  // what the console program writes on standard output for the decomposition
};

Decomposed decompose(const Rows& rows) {
    const int n = static_cast<int>(rows.size());
    Decomposed d{columnMajor(rows, n), std::vector<int>(static_cast<std::size_t>(n), 0), 0, ""};
    d.output = captureStandardOutput([&] { kvw::driver::reportSingularRows(ludcmp(d.a, n, n, d.pivots, d.parity)); });
    return d;
}

struct LuCase {
    const char* name;
    Rows rows;
    std::vector<int> pivots;
    double parity;
    Rows factors;  // L below the diagonal, U on and above it
    std::vector<double> b;
    std::vector<double> x;
};

TEST(LuDecomposition, SmallSystemsGiveTheExpectedFactorsAndSolutions) {
    const std::vector<LuCase> cases = {
        {"identity", {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {1, 2, 3}, 1.0,
         {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {3, -1, 2}, {3, -1, 2}},
        {"exchange", {{0, 1}, {1, 0}}, {2, 2}, -1.0, {{1, 0}, {0, 1}}, {3, 5}, {5, 3}},
        // Equal scaled candidates in column 1: the later row wins.
        {"tie goes to the later row", {{1, 0}, {1, 1}}, {2, 2}, -1.0, {{1, 1}, {1, -1}}, {1, 3}, {1, 2}},
        // Row 1 has the larger element, but 2/1000 < 1/1 after scaling.
        {"implicit scaling", {{2, 1000}, {1, 1}}, {2, 2}, -1.0, {{1, 1}, {2, 998}}, {1002, 2}, {1, 1}},
        // Singular without a zero row: the last pivot comes out exactly zero.
        {"singular rows", {{1, 2}, {2, 4}}, {2, 2}, -1.0, {{2, 4}, {0.5, TINY_PIVOT}}, {}, {}},
        // Row 3 (scale 1/2) leads column 1; row 1, moved down, keeps its scale
        // 1/100, so its candidate 0.5/100 loses to 0.125 in column 2.
        {"scale moves with the row", {{1, 1, 100}, {0, 0.125, 1}, {2, 1, 1}}, {3, 2, 3}, -1.0,
         {{2, 1, 1}, {0, 0.125, 1}, {0.5, 4, 95.5}}, {303, 3.25, 7}, {1, 2, 3}},
        // Column 1 holds only zeros: the last row is taken and its zero pivot
        // replaced before the multipliers are formed (0 times 1/TINY_PIVOT).
        {"zero column", {{0, 1}, {0, 2}}, {2, 2}, -1.0, {{TINY_PIVOT, 2}, {0, 1}}, {}, {}},
        {"one by one", {{-2.5}}, {1}, 1.0, {{-2.5}}, {5}, {-2}},
        {"zero right-hand side", {{4, 1, 2}, {1, 5, 1}, {2, 1, 6}}, {}, 1.0, {}, {0, 0, 0}, {0, 0, 0}},
    };
    for (const LuCase& c : cases) {
        SCOPED_TRACE(c.name);
        const int n = static_cast<int>(c.rows.size());
        Decomposed d = decompose(c.rows);
        EXPECT_EQ(d.output, "");
        EXPECT_EQ(d.parity, c.parity);
        if (!c.pivots.empty()) {
            EXPECT_EQ(d.pivots, c.pivots);
        }
        if (!c.factors.empty()) {
            EXPECT_EQ(d.a, columnMajor(c.factors, n));
        }
        if (!c.b.empty()) {
            std::vector<double> b = c.b;
            lubksb(d.a, n, n, d.pivots, b);
            EXPECT_EQ(b, c.x);
        }
    }
}

TEST(LuDecomposition, ForwardSubstitutionStartsAtTheFirstNonZeroElement) {
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::vector<int> pivots = {1, 2, 3};
    // The leading zero is skipped, so the infinite multiplier never meets it.
    std::vector<double> b = {0, 5, 7};
    lubksb(columnMajor({{1, 0, 0}, {0, 1, 0}, {inf, 1, 1}}, 3), 3, 3, pivots, b);
    EXPECT_EQ(b, (std::vector<double>{0, 5, 2}));
    // A NaN counts as non-zero: the sums start at it.
    b = {std::numeric_limits<double>::quiet_NaN(), 5, 7};
    lubksb(columnMajor({{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 3), 3, 3, pivots, b);
    EXPECT_TRUE(std::isnan(b[1]));
}

TEST(LuDecomposition, TinyPivotIsSinglePrecisionOneEMinus20) {
    static_assert(std::bit_cast<std::uint64_t>(TINY_PIVOT) == 0x3BC79CA100000000ULL);
    EXPECT_EQ(1.0 / TINY_PIVOT, 1.0000000317344784e+20);
    EXPECT_NE(TINY_PIVOT, 1e-20);
}

struct ZeroRowCase {
    const char* name;
    Rows rows;
    std::string output;
};

TEST(LuDecomposition, EachAllZeroRowWritesOneRecord) {
    const std::string record = " Singular matrix.\r\n";
    const std::vector<ZeroRowCase> cases = {
        {"zero second row of three", {{1, 2, 3}, {0, 0, 0}, {4, 5, 6}}, record},
        {"zero first row of two", {{0, 0}, {1, 1}}, record},
        {"zero second row of two", {{3, 1}, {0, 0}}, record},
        {"two zero rows", {{0, 0}, {0, 0}}, record + record},
        {"negative zeros", {{-0.0, 0.0}, {1, 2}}, record},
    };
    for (const ZeroRowCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Decomposed d = decompose(c.rows);
        EXPECT_EQ(d.output, c.output);
        for (std::size_t j = 0; j < d.pivots.size(); ++j) {
            EXPECT_GE(d.pivots[j], static_cast<int>(j) + 1);
            EXPECT_LE(d.pivots[j], static_cast<int>(d.pivots.size()));
        }
    }
}

TEST(LuDecomposition, ZeroRowIsNeverChosenAndItsPivotIsReplaced) {
    // Column 1: row 3 (4/6) beats row 1 (1/3); column 2: the old row 1 beats
    // the zero row, whose candidates are infinity times zero.
    const Decomposed d = decompose({{1, 2, 3}, {0, 0, 0}, {4, 5, 6}});
    EXPECT_EQ(d.pivots, (std::vector<int>{3, 3, 3}));
    EXPECT_EQ(d.parity, 1.0);
    EXPECT_EQ(d.a[8], TINY_PIVOT);  // the zero row ends last, its pivot replaced
    EXPECT_EQ(d.a[0], 4.0);
    EXPECT_EQ(d.a[4], 0.75);  // 2 - 0.25 * 5
}

TEST(LuDecomposition, NanCandidateNeverWinsAndNanPivotStays) {
    // Row 2's candidate in column 1 is NaN: row 1 stays, although a later row
    // wins every comparable tie.
    const Decomposed d = decompose({{1, 2}, {std::numeric_limits<double>::quiet_NaN(), 1}});
    EXPECT_EQ(d.output, "");
    EXPECT_EQ(d.pivots, (std::vector<int>{1, 2}));
    EXPECT_EQ(d.parity, 1.0);
    EXPECT_TRUE(std::isnan(d.a[3]));
}

TEST(LuDecomposition, LeadingDimensionLeavesTheRestOfTheColumnsAlone) {
    constexpr int n = 2;
    constexpr int np = 4;
    constexpr double untouched = 777.25;
    std::vector<double> a = columnMajor({{2, 1000}, {1, 1}}, np, untouched);
    std::vector<int> pivots(n);
    double parity = 0;
    ludcmp(a, n, np, pivots, parity);
    std::vector<double> b = {1002, 2};
    lubksb(a, n, np, pivots, b);
    EXPECT_EQ(a, (std::vector<double>{1, 2, untouched, untouched, 1, 998, untouched, untouched}));
    EXPECT_EQ(pivots, (std::vector<int>{2, 2}));
    EXPECT_EQ(parity, -1.0);
    EXPECT_EQ(b, (std::vector<double>{1, 1}));
}

TEST(LuDecomposition, OneDecompositionServesSeveralRightHandSides) {
    constexpr int n = 5;
    std::mt19937_64 random(20240611);
    std::uniform_real_distribution<double> element(-1.0, 1.0);
    Rows rows(n, std::vector<double>(n));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            rows[i][j] = element(random) + (i == j ? 6.0 : 0.0);  // diagonally dominant
        }
    }
    const Decomposed d = decompose(rows);
    EXPECT_EQ(d.output, "");
    for (int trial = 0; trial < 3; ++trial) {
        std::vector<double> x(n);
        std::vector<double> b(n);
        for (double& value : x) {
            value = element(random) * 10;
        }
        for (int i = 0; i < n; ++i) {
            long double sum = 0;
            for (int j = 0; j < n; ++j) {
                sum += static_cast<long double>(rows[i][j]) * x[j];
            }
            b[i] = static_cast<double>(sum);
        }
        lubksb(d.a, n, n, d.pivots, b);
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(b[i], x[i], 1e-12) << "trial " << trial << ", x(" << i + 1 << ")";
        }
    }
}

}  // namespace
