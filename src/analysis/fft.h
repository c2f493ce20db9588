// A radix-2 fast Fourier transform in extended precision over caller-owned
// arrays, with the bound on its rounding error that the fast symmetry scan
// relies on.
#pragma once

#include <cstddef>
#include <span>

namespace kvw::analysis {

// How far an entry of the twiddle table may lie from the exact root of unity
// (checked for every table the program can use), and how far the product of
// two entries, the twiddle a butterfly uses, may lie from it.
inline const long double kTableTwiddleError = 0x1p-60L;
inline const long double kTwiddleError = 0x1p-58L;

struct ExtendedComplex {
    long double re = 0;
    long double im = 0;
};

// The smallest power of two that is at least `count` (1 for 0).
std::size_t powerOfTwoAtLeast(std::size_t count);

// Entries of the twiddle table for transforms of `size` points (a power of two).
std::size_t twiddleCount(std::size_t size);

// Fills the twiddle table for transforms of `size` points. Each entry lies
// within kTableTwiddleError of the exact root of unity.
void fillTwiddles(std::span<ExtendedComplex> twiddles, std::size_t size);

// In place: data[k] <- sum_j data[j] exp(-+2 pi i jk / size), the minus sign
// forward, the plus sign inverse (unscaled). `size` is a power of two and
// `twiddles` was filled for it.
void fft(std::span<ExtendedComplex> data, std::span<const ExtendedComplex> twiddles, bool inverse);

// Error bounds of `fft` for `size` points, as factors of the input's norms:
// every output is within componentwise * sum |x_j| of the exact transform,
// and the outputs together within normwise * sqrt(size) * ||x||_2 of it.
struct FftErrorBound {
    long double componentwise = 0;
    long double normwise = 0;
};
FftErrorBound fftErrorBound(std::size_t size);

}  // namespace kvw::analysis
