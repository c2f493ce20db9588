// The vector kernels of pair_sums.h with AVX-512, eight trials at a time.
// Compiled with -mavx512f -mfma; pair_sums.cpp calls them only on a processor
// that runs AVX-512 (pair_sums_vector.h says what this file may include).

#include <immintrin.h>

#include "analysis/pair_sums_vector.h"

namespace kvw::analysis::vector_sums {

namespace {

struct Avx512 {
    using Reg = __m512d;
    using Mask = __mmask8;
    static constexpr std::size_t kWidth = 8;
    static constexpr unsigned kAll = 0xFF;

    static __mmask8 first(std::size_t n) { return static_cast<__mmask8>((1u << n) - 1); }
    static Reg broadcast(double x) { return _mm512_set1_pd(x); }
    static Reg load(const double* p) { return _mm512_loadu_pd(p); }
    static void store(double* p, Reg x) { _mm512_storeu_pd(p, x); }
    static Reg loadFirst(const double* p, std::size_t n) { return _mm512_maskz_loadu_pd(first(n), p); }
    static void storeFirst(double* p, Reg x, std::size_t n) { _mm512_mask_storeu_pd(p, first(n), x); }
    static Reg add(Reg x, Reg y) { return _mm512_add_pd(x, y); }
    static Reg sub(Reg x, Reg y) { return _mm512_sub_pd(x, y); }
    static Reg fma(Reg x, Reg y, Reg z) { return _mm512_fmadd_pd(x, y, z); }
    static Reg fms(Reg x, Reg y, Reg z) { return _mm512_fmsub_pd(x, y, z); }
    static Reg abs(Reg x) { return _mm512_abs_pd(x); }
    static Mask equal(Reg x, Reg y) { return _mm512_cmp_pd_mask(x, y, _CMP_EQ_OQ); }
    static Mask andLessEqual(Mask m, Reg x, Reg y) { return _mm512_mask_cmp_pd_mask(m, x, y, _CMP_LE_OQ); }
    static unsigned bits(Mask x) { return x; }
};

}  // namespace

// Constant: no code of this file runs at start-up.
constinit const RowKernels kAvx512Kernels = rowKernels<Avx512>();

}  // namespace kvw::analysis::vector_sums
