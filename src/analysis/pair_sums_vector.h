// The vector kernels of pair_sums.h, written once for any width over the few
// operations that each instruction set's file (pair_sums_avx2.cpp,
// pair_sums_avx512.cpp) supplies as a struct of static functions:
//   Reg, Mask, kWidth, kAll     the vector, a comparison's result, lanes, every lane's bit
//   broadcast, load, store      whole vectors (unaligned)
//   loadFirst, storeFirst       the first n lanes only (n < kWidth); the others read as 0, untouched
//   add, sub                    rounded to double
//   fma(x, y, z), fms(x, y, z)  x*y + z and x*y - z, rounded once
//   abs                         |x|
//   equal(x, y)                 x == y (false on NaN)
//   andLessEqual(m, x, y)       m and x <= y (false on NaN)
//   bits                        a Mask as lane bits
//
// Private to the analysis library. Those files are compiled for their
// instruction set, so they call no inline function of another header (the
// extended formula included): the linker could keep their copy of it for the
// whole program, and a processor without the instructions would meet it.
//
// WHY THE EXACT KERNELS ARE EXACT
//
// The extended formula stores y = dbl(e(S + e(e(a - b)^2))): e rounds to a
// 64-bit significand, dbl to double; S >= 0 is the running sum, a double. Let
// X = S + (a - b)^2 exactly and u = 2^-64. Each e has a relative error of at
// most u and never overflows or underflows (the extended exponents reach far
// beyond the squares of doubles), and both addends are >= 0, so e(...) lies
// within B of X, where
//   B = (2u + u^2) X < 2^-63 (1 + 2^-65) X   when a - b is a double (the first e is exact),
//   B = ((1 + u)^4 - 1) X < 2^-62 (1 + 2^-62) X   in general.
// dbl is monotone: if every value of [X - B, X + B] rounds to one double sh,
// then y = sh. That holds when, with rho = X - sh, rho + B stays below half
// the gap from sh to the next double above and rho - B above minus half the
// gap to the one below (a quarter of a gap below a power of two), strictly:
// a value exactly halfway rounds to the even neighbour, which need not be sh.
//
// The vector computes a candidate sh and tests that, lane by lane:
//   1. sh = fma(d, d, S), d = a - b (or d = dh + dl, exactly, by the two-sum
//      when a - b need not be a double; then sh = fma(dh, dh, S)). Any sh would
//      do: the test decides whether it is y.
//   2. ne = sh - S, accepted only if ne <= S. sh >= S (rounding is monotone and
//      d^2 >= 0), so ne <= S means sh <= 2S, and then sh - S is exact (Sterbenz);
//      if sh > 2S, sh is at least the double after 2S and ne > S. So rho = d^2 - ne.
//   3. r = fma(d, d, -ne) is rho rounded once (fma(2dh, dl, fma(dh, dh, -ne))
//      with two roundings and without dl^2 <= 2^-106 d^2 in general).
//   4. t = fma(sh, K, |r|) = |r| + K sh, rounded, with K = 2^-63 (1 + 2^-30)
//      (2^-62 (1 + 2^-30) in general).
//   5. accepted if sh - t == sh: the subtraction rounds to sh exactly when t
//      is at most half the gap below sh, the smaller of sh's two gaps (halfway
//      only for an even sh).
// On acceptance |rho| < gap and gap <= 2^-52 sh, so K sh exceeds B by at least
// 2^-94 sh >= 2^-42 gap, while the roundings of steps 3 and 4 and the missing
// dl^2 move t from |rho| + K sh by at most 2^-49 gap. Hence |rho| + B < t, at
// most half of either gap. Exact ties and near-ties fail the test by that same
// margin (and a sum at a power of two with rho > 0 a little more often).
//
// Those error bounds are relative: they need sh well above the subnormal range
// (2^-978 would do) and every step free of overflow. The kernel is chosen from
// the grid (pair_sums.cpp): when every magnitude is 0 or between 2^-300 and
// 2^480 in size, a nonzero (a - b)^2 is at least 2^-704 (both are multiples of
// 2^-352), every sum of fewer than 2^31 terms stays below 2^993, and a zero sum
// (S = 0, a = b) is +0 both ways; otherwise each lane is also accepted only for
// 2^-900 <= sh <= 2^1000. Infinities and NaN always fail the test.
//
// A lane that fails is recomputed by the extended formula from its old sum,
// with the operands in the scalar loop's order (sum, a, b): a NaN sum keeps the
// sign and payload that formula gives it.
#pragma once

#include <cstddef>

#include "analysis/pair_sums.h"

namespace kvw::analysis::vector_sums {

// The extended formula, compiled for every processor (pair_sums.cpp).
double exactTerm(double sum, double a, double b);

// How a kernel forms the difference a - b, from what the grid's magnitudes allow.
enum class Difference {
    exact,    // same sign, within a factor 2, sizes 2^-300..2^480: a - b is a double
    split,    // 0 or sizes 2^-300..2^480: a - b = dh + dl
    checked,  // anything: split, and each sum's size checked
};

// The kernels of one instruction set, in the table that pair_sums.cpp picks from.
struct RowKernels {
    PairRowKernel exact;
    PairRowKernel split;
    PairRowKernel checked;
    PairRowKernel plain;
};
extern const RowKernels kAvx2Kernels;
extern const RowKernels kAvx512Kernels;

// The candidate sums of one vector of terms and the lanes proved exact.
template <class V, Difference kind>
inline unsigned candidateSums(typename V::Reg a, typename V::Reg b, typename V::Reg s, typename V::Reg& sh) {
    using Reg = typename V::Reg;
    if constexpr (kind == Difference::exact) {
        const Reg d = V::sub(a, b);
        sh = V::fma(d, d, s);
        const Reg ne = V::sub(sh, s);
        const Reg r = V::fms(d, d, ne);
        const Reg t = V::fma(sh, V::broadcast(0x1.00000004p-63), V::abs(r));
        return V::bits(V::andLessEqual(V::equal(V::sub(sh, t), sh), ne, s));
    } else {
        const Reg dh = V::sub(a, b);  // the two-sum of a and -b
        const Reg back = V::sub(dh, a);
        const Reg dl = V::sub(V::sub(a, V::sub(dh, back)), V::add(b, back));
        sh = V::fma(dh, dh, s);
        const Reg ne = V::sub(sh, s);
        const Reg r = V::fma(V::add(dh, dh), dl, V::fms(dh, dh, ne));
        const Reg t = V::fma(sh, V::broadcast(0x1.00000004p-62), V::abs(r));
        auto accepted = V::andLessEqual(V::equal(V::sub(sh, t), sh), ne, s);
        if constexpr (kind == Difference::checked) {
            accepted = V::andLessEqual(V::andLessEqual(accepted, V::broadcast(0x1p-900), sh), sh,
                                       V::broadcast(0x1p1000));
        }
        return V::bits(accepted);
    }
}

// The lanes the test rejected, by the extended formula from their old sums.
template <class V>
void recomputeLanes(typename V::Reg oldSums, double a, const double* partners, double* sums, unsigned lanes) {
    alignas(64) double old[V::kWidth];
    V::store(old, oldSums);
    for (; lanes != 0; lanes &= lanes - 1) {
        const int lane = __builtin_ctz(lanes);
        sums[lane] = exactTerm(old[lane], a, partners[lane]);
    }
}

template <class V, Difference kind>
void exactRow(double a, const double* partners, double* sums, std::size_t count) {
    using Reg = typename V::Reg;
    const Reg av = V::broadcast(a);
    std::size_t k = 0;
    for (; k + V::kWidth <= count; k += V::kWidth) {
        const Reg s = V::load(sums + k);
        Reg sh;
        const unsigned accepted = candidateSums<V, kind>(av, V::load(partners + k), s, sh);
        V::store(sums + k, sh);
        if (accepted != V::kAll) [[unlikely]] {
            recomputeLanes<V>(s, a, partners + k, sums + k, ~accepted & V::kAll);
        }
    }
    if (k < count) {
        const std::size_t n = count - k;
        const unsigned lanes = (1u << n) - 1;
        const Reg s = V::loadFirst(sums + k, n);
        Reg sh;
        const unsigned accepted = candidateSums<V, kind>(av, V::loadFirst(partners + k, n), s, sh);
        V::storeFirst(sums + k, sh, n);
        if ((accepted & lanes) != lanes) {
            recomputeLanes<V>(s, a, partners + k, sums + k, ~accepted & lanes);
        }
    }
}

template <class V>
void plainRow(double a, const double* partners, double* sums, std::size_t count) {
    using Reg = typename V::Reg;
    const Reg av = V::broadcast(a);
    std::size_t k = 0;
    for (; k + V::kWidth <= count; k += V::kWidth) {
        const Reg d = V::sub(av, V::load(partners + k));
        V::store(sums + k, V::fma(d, d, V::load(sums + k)));
    }
    if (k < count) {
        const std::size_t n = count - k;
        const Reg d = V::sub(av, V::loadFirst(partners + k, n));
        V::storeFirst(sums + k, V::fma(d, d, V::loadFirst(sums + k, n)), n);
    }
}

template <class V>
constexpr RowKernels rowKernels() {
    return {exactRow<V, Difference::exact>, exactRow<V, Difference::split>, exactRow<V, Difference::checked>,
            plainRow<V>};
}

}  // namespace kvw::analysis::vector_sums
