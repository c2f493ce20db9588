// The vector kernels of pair_sums.h with AVX2 and the fused multiply-add, four
// trials at a time. Compiled with -mavx2 -mfma; pair_sums.cpp calls them only
// on a processor that runs both (pair_sums_vector.h says what this file may
// include).

#include <immintrin.h>

#include "analysis/pair_sums_vector.h"

namespace kvw::analysis::vector_sums {

namespace {

struct Avx2 {
    using Reg = __m256d;
    using Mask = __m256d;
    static constexpr std::size_t kWidth = 4;
    static constexpr unsigned kAll = 0xF;

    // Lanes 0 .. n - 1 set.
    static __m256i first(std::size_t n) {
        return _mm256_cmpgt_epi64(_mm256_set1_epi64x(static_cast<long long>(n)), _mm256_set_epi64x(3, 2, 1, 0));
    }
    static Reg broadcast(double x) { return _mm256_set1_pd(x); }
    static Reg load(const double* p) { return _mm256_loadu_pd(p); }
    static void store(double* p, Reg x) { _mm256_storeu_pd(p, x); }
    static Reg loadFirst(const double* p, std::size_t n) { return _mm256_maskload_pd(p, first(n)); }
    static void storeFirst(double* p, Reg x, std::size_t n) { _mm256_maskstore_pd(p, first(n), x); }
    static Reg add(Reg x, Reg y) { return _mm256_add_pd(x, y); }
    static Reg sub(Reg x, Reg y) { return _mm256_sub_pd(x, y); }
    static Reg fma(Reg x, Reg y, Reg z) { return _mm256_fmadd_pd(x, y, z); }
    static Reg fms(Reg x, Reg y, Reg z) { return _mm256_fmsub_pd(x, y, z); }
    static Reg abs(Reg x) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), x); }
    static Mask equal(Reg x, Reg y) { return _mm256_cmp_pd(x, y, _CMP_EQ_OQ); }
    static Mask andLessEqual(Mask m, Reg x, Reg y) { return _mm256_and_pd(m, _mm256_cmp_pd(x, y, _CMP_LE_OQ)); }
    static unsigned bits(Mask x) { return static_cast<unsigned>(_mm256_movemask_pd(x)); }
};

}  // namespace

// Constant: no code of this file runs at start-up.
constinit const RowKernels kAvx2Kernels = rowKernels<Avx2>();

}  // namespace kvw::analysis::vector_sums
