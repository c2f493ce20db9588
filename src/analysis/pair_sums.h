// The innermost loop of the symmetry scan: one grid point's squared
// differences added to a row of trials' sums, S(i) <- S(i) + (a - b_i)^2,
// eight trials at a time with AVX-512, four with AVX2, one at a time
// otherwise. The instruction set is chosen at run time from the processor,
// so one program runs everywhere; the kernel is chosen once per grid from its
// magnitudes.
//
// Two roundings:
//  - exact: every sum is, bit for bit, the double that addSquaredDifference
//    (symmetry_scan.h) gives, term after term. The vector kernels compute the
//    term in double precision with fused multiply-adds and prove, lane by lane,
//    that the extended formula rounds to the same double; a lane they cannot
//    prove it for is recomputed with the extended formula (pair_sums_vector.h
//    gives the argument).
//  - plain: sum = fma(d, d, sum) with d = a - b rounded to double, not the
//    exact doubles: for sums whose digits are never printed (the replicas
//    re-timed for an error estimate). The same doubles with AVX2 and with
//    AVX-512; without them the exact ones (one term at a time, the extended
//    formula is faster than a fused multiply-add the processor may lack).
#pragma once

#include <cstddef>
#include <span>

namespace kvw::analysis {

enum class SumRounding { exact, plain };

enum class InstructionSet { portable, avx2, avx512 };

// The widest set this processor and its operating system run (AVX2 counts
// only with the fused multiply-add).
InstructionSet processorInstructionSet();

// sums[k] <- sums[k] + (a - partners[k])^2 for k = 0 .. count - 1, each sum
// taking its own term; a and every partner are magnitudes of the grid the
// kernel was chosen for.
using PairRowKernel = void (*)(double a, const double* partners, double* sums, std::size_t count);

// The kernel for a grid whose pairs are formed among `magnitudes`, for the
// processor's instruction set or a given one (which the processor must run).
PairRowKernel pairRowKernel(std::span<const double> magnitudes, SumRounding rounding);
PairRowKernel pairRowKernel(std::span<const double> magnitudes, SumRounding rounding, InstructionSet set);

}  // namespace kvw::analysis
