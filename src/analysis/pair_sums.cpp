#include "analysis/pair_sums.h"

#include <cmath>

#include "analysis/pair_sums_vector.h"
#include "analysis/symmetry_scan.h"

namespace kvw::analysis {

namespace vector_sums {

double exactTerm(double sum, double a, double b) {
    return addSquaredDifference(sum, a, b);
}

}  // namespace vector_sums

namespace {

using vector_sums::Difference;
using vector_sums::RowKernels;

void exactRowPortable(double a, const double* partners, double* sums, std::size_t count) {
    for (std::size_t k = 0; k < count; ++k) {
        sums[k] = addSquaredDifference(sums[k], a, partners[k]);
    }
}

// What the magnitudes allow the vector kernels to assume (pair_sums_vector.h):
// sizes 0 or 2^-300..2^480, and for exact differences one sign and a factor 2.
Difference differenceFor(std::span<const double> magnitudes) {
    bool positive = true;
    bool negative = true;
    double least = INFINITY;
    double most = 0;
    for (const double m : magnitudes) {
        const double size = std::fabs(m);
        if (!(size == 0 || (size >= 0x1p-300 && size <= 0x1p480))) {
            return Difference::checked;  // NaN too
        }
        positive = positive && m > 0;
        negative = negative && m < 0;
        least = std::fmin(least, size);
        most = std::fmax(most, size);
    }
    return (positive || negative) && most <= 2 * least ? Difference::exact : Difference::split;
}

PairRowKernel kernelOf(const RowKernels& kernels, Difference difference) {
    switch (difference) {
    case Difference::exact:
        return kernels.exact;
    case Difference::split:
        return kernels.split;
    case Difference::checked:
        break;
    }
    return kernels.checked;
}

}  // namespace

InstructionSet processorInstructionSet() {
    static const InstructionSet widest = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma")) {
            return InstructionSet::avx512;
        }
        if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
            return InstructionSet::avx2;
        }
        return InstructionSet::portable;
    }();
    return widest;
}

PairRowKernel pairRowKernel(std::span<const double> magnitudes, SumRounding rounding, InstructionSet set) {
    if (set == InstructionSet::portable) {
        return exactRowPortable;  // one term at a time the extended formula is the faster
    }
    const RowKernels& kernels =
        set == InstructionSet::avx512 ? vector_sums::kAvx512Kernels : vector_sums::kAvx2Kernels;
    return rounding == SumRounding::exact ? kernelOf(kernels, differenceFor(magnitudes)) : kernels.plain;
}

PairRowKernel pairRowKernel(std::span<const double> magnitudes, SumRounding rounding) {
    return pairRowKernel(magnitudes, rounding, processorInstructionSet());
}

}  // namespace kvw::analysis
