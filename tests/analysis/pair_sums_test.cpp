// The row kernels of the scan against the extended formula, bit for bit, with
// every instruction set this processor runs: term by term on constructed hard
// cases, and whole grids of every size from 2 to 300 (there the plain kernels
// too, against the fused multiply-add).

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "analysis/pair_sums.h"
#include "analysis/symmetry_scan.h"
#include "support/references.h"

namespace kvw::analysis {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNan = std::numeric_limits<double>::quiet_NaN();

std::vector<InstructionSet> setsOfThisProcessor() {
    std::vector<InstructionSet> sets;
    for (const InstructionSet set : {InstructionSet::portable, InstructionSet::avx2, InstructionSet::avx512}) {
        if (set <= processorInstructionSet()) {
            sets.push_back(set);
        }
    }
    return sets;
}

std::uint64_t bitsOf(double x) {
    return std::bit_cast<std::uint64_t>(x);
}

struct Term {
    std::string name;
    double sum;
    double a;
    double b;
};

// The term in rows of 1 and 9 lanes (the masked tail and a whole vector), with
// the kernel each grid holding a and b would get: {a, b} alone, with a zero (no
// exact differences) and with a NaN (every sum's size checked).
void expectExtendedTerm(const Term& term) {
    SCOPED_TRACE(term.name);
    const double expected = addSquaredDifference(term.sum, term.a, term.b);
    for (const InstructionSet set : setsOfThisProcessor()) {
        for (const std::vector<double>& grid : {std::vector<double>{term.a, term.b},
                                                std::vector<double>{term.a, term.b, 0.0},
                                                std::vector<double>{term.a, term.b, kNan}}) {
            const PairRowKernel addRow = pairRowKernel(grid, SumRounding::exact, set);
            for (const std::size_t lanes : {std::size_t{1}, std::size_t{9}}) {
                std::vector<double> sums(lanes, term.sum);
                const std::vector<double> partners(lanes, term.b);
                addRow(term.a, partners.data(), sums.data(), lanes);
                for (const double sum : sums) {
                    EXPECT_EQ(bitsOf(sum), bitsOf(expected)) << "set " << static_cast<int>(set) << " grid of "
                                                            << grid.size() << ", " << lanes << " lanes: " << sum;
                }
            }
        }
    }
}

TEST(PairSums, ConstructedHardTerms) {
    const double negativeNan = -kNan;
    const std::vector<Term> terms = {
        // S + d^2 = 2.5 + 2^-25 + 2^-52 exactly: halfway between two doubles.
        {"exact tie", 1.5, 2.5 + 0x1p-26, 1.5},
        // 2.5 + 2^-25 + 2^-39 + 2^-52 + 2^-65 + 2^-80: the 64-bit rounding lands
        // halfway, and the even double is below the nearest one.
        {"tie after the 64-bit rounding", 1.5, 2.5 + 0x1p-26 + 0x1p-40, 1.5},
        {"tie after the 64-bit rounding, negative magnitudes", 1.5, -1.5, -2.5 - 0x1p-26 - 0x1p-40},
        {"tie after the 64-bit rounding, differences of both signs", 1.5, 0.5 + 0x1p-26 + 0x1p-40, -0.5},
        {"sum just below a power of two", 0x1.fffffffffffffp0, 10.0 + 0x1p-27, 10.0},
        {"sum reaching a power of two", 0x1.fffffffffffffp0, 10.0 + 0x1p-26, 10.0},
        {"sum at a power of two, term below a quarter gap", 2.0, 10.0 + 0x1p-28, 10.0},
        {"term larger than the sum", 1e-6, 10.75, 10.0},
        // 2^54 + 2 + 2^-51: the rounded sum less the old one is not exact, and
        // the 64-bit rounding lands halfway.
        {"term beyond twice the sum", 2 + 0x1p-51, 0x1.8p28, 0x1p28},
        {"first term", 0.0, 10.4375, 10.0},
        {"equal magnitudes", 3.25, 10.5, 10.5},
        {"zeros of both signs", 0.0, -0.0, 0.0},
        {"subnormal magnitudes", 0.0, 0x1p-1070, -0x1p-1073},
        {"subnormal square", 0.0, 0x1p-520, 0.0},
        {"square between the subnormals", 0x1p-1060, 0x1.8p-531, 0x1p-535},
        // (2^40 + 1/2 + 7e-17) 2^-1074: halfway between subnormals after the 64-bit rounding.
        {"subnormal sum", 0x1p-1034, 0x1.6a09e667f3bcdp-538, 0.0},
        {"smallest normal sizes", 0x1p-1000, 0x1p-500, -0x1p-501},
        {"huge magnitudes", 1e300, 1e154, -1e154},
        {"difference beyond the largest double", 0.0, 1.7e308, -1.7e308},
        {"sum overflowing", 1.7e308, 1e154, -1e154},
        {"largest sum", std::numeric_limits<double>::max(), 1.0, 1.0},
        {"infinite sum", kInf, 10.0, 10.5},
        {"infinite magnitude", 2.0, kInf, 10.0},
        {"infinities of the same sign", 0.0, -kInf, -kInf},
        {"infinities of both signs", 1.0, -kInf, kInf},
        {"NaN sum", kNan, 10.0, 10.5},
        {"negative NaN sum", negativeNan, 10.0, 10.5},
        {"NaN magnitudes of both signs", 0.0, negativeNan, kNan},
        {"NaN magnitudes, the other order", 0.0, kNan, negativeNan},
        {"NaN sum and NaN magnitude", negativeNan, kNan, 1.0},
    };
    for (const Term& term : terms) {
        expectExtendedTerm(term);
    }
}

// Terms whose correctly rounded value (one fused multiply-add) is not the
// extended formula's: the double rounding the filter must catch.
TEST(PairSums, TermsWhereTheTwoRoundingsDiffer) {
    std::mt19937_64 random(53);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    int found = 0;
    for (int trial = 0; trial < 400000 && found < 40; ++trial) {
        const double b = std::ldexp(1.0 + unit(random), static_cast<int>(random() % 9) - 4);
        const double a = b + std::ldexp(unit(random), -static_cast<int>(random() % 30)) * b;
        const double sum = std::ldexp(1.0 + unit(random), static_cast<int>(random() % 12) - 6);
        const double d = a - b;
        if (std::fma(d, d, sum) != addSquaredDifference(sum, a, b)) {
            ++found;
            expectExtendedTerm({"a=" + std::to_string(a) + " b=" + std::to_string(b), sum, a, b});
        }
    }
    EXPECT_EQ(found, 40);
}

// The magnitudes of a grid of n points, of one kind.
std::vector<double> gridOfKind(int kind, int n, std::mt19937_64& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> m(static_cast<std::size_t>(n));
    for (int p = 0; p < n; ++p) {
        const double dip = 0.75 * std::exp(-std::pow(6.0 * (p - 0.45 * n) / n, 2));
        const double noise = 0.004 * (unit(random) - 0.5);
        double& x = m[static_cast<std::size_t>(p)];
        switch (kind) {
        case 0: x = 10.0 + dip + noise; break;                                       // absolute
        case 1: x = p == 0 || p == n - 1 ? 0.0 : std::round((dip + noise) * 1e4) / 1e4; break;  // differential
        case 2: x = std::ldexp(unit(random) - 0.5, static_cast<int>(random() % 80) - 40); break;  // mixed exponents
        case 3: x = static_cast<double>(random() % 5); break;                         // small integers: ties
        case 4: x = 1e300 * (unit(random) - 0.5); break;                              // sums beyond the doubles
        case 5: x = std::ldexp(unit(random), -1060); break;                           // subnormals
        default: x = p % 37 == 5 ? kInf : (p % 41 == 7 ? -kNan : 10.0 + dip); break;  // infinities and NaN
        }
    }
    return m;
}

// The plain sums: fma(d, d, sum) with d = a - b, trial by trial.
std::vector<double> plainSums(const std::vector<double>& grid) {
    const auto n = static_cast<std::int32_t>(grid.size());
    std::vector<double> sums(2 * grid.size() - 1, 0.0);
    for (std::int32_t i = 1; i <= 2 * n - 1; ++i) {
        for (std::int32_t p = std::max(1, i + 2 - n); 2 * p < i + 2; ++p) {
            const double d = grid[static_cast<std::size_t>(p - 1)] - grid[static_cast<std::size_t>(i + 1 - p)];
            sums[static_cast<std::size_t>(i - 1)] = std::fma(d, d, sums[static_cast<std::size_t>(i - 1)]);
        }
    }
    return sums;
}

TEST(PairSums, WholeGridsAsTheExtendedFormulaSumsThem) {
    std::mt19937_64 random(2459000);
    for (int n = 2; n <= 300; ++n) {
        for (int kind = 0; kind <= 6; ++kind) {
            const std::vector<double> grid = gridOfKind(kind, n, random);
            const auto trials = static_cast<std::size_t>(2 * n - 1);
            std::vector<double> exact(trials);
            testing::symmetricSums(grid, 1, 2 * n - 1, exact);
            const std::vector<double> plain = plainSums(grid);
            for (const InstructionSet set : setsOfThisProcessor()) {
                for (const SumRounding rounding : {SumRounding::exact, SumRounding::plain}) {
                    // The scan's rows: grid point p pairs with p + 1 .. n for trials 2p - 1 .. p + n - 2.
                    const PairRowKernel addRow = pairRowKernel(grid, rounding, set);
                    std::vector<double> sums(trials, 0.0);
                    for (std::size_t p = 1; p < grid.size(); ++p) {
                        addRow(grid[p - 1], grid.data() + p, sums.data() + 2 * p - 2, grid.size() - p);
                    }
                    const bool exactly = rounding == SumRounding::exact || set == InstructionSet::portable;
                    for (std::size_t i = 0; i < trials; ++i) {
                        // The NaN of a plain sum may have either sign.
                        ASSERT_TRUE(exactly ? bitsOf(sums[i]) == bitsOf(exact[i]) : testing::sameBits(sums[i], plain[i]))
                            << "n " << n << " kind " << kind << " set " << static_cast<int>(set) << " rounding "
                            << static_cast<int>(rounding) << " trial " << i + 1 << ": " << sums[i];
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace kvw::analysis
