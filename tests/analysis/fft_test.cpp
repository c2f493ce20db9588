// The extended-precision FFT: its twiddle tables against a quadruple-precision
// reference for every size the program can use, the transform against the
// direct sum with its error bound, and convolution by FFT against the direct
// convolution.
#include <gtest/gtest.h>
#include <quadmath.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "analysis/fft.h"

namespace kvw::analysis {
namespace {

__extension__ typedef __float128 Quad;

// exp(-2 pi i k / size) in quadruple precision.
std::complex<long double> referenceRoot(std::size_t k, std::size_t size) {
    const Quad angle = 8 * atanq(1) * static_cast<Quad>(k) / static_cast<Quad>(size);
    return {static_cast<long double>(cosq(angle)), static_cast<long double>(-sinq(angle))};
}

TEST(Fft, EveryTwiddleTableEntryIsWithinItsBound) {
    long double worst = 0;
    for (std::size_t size = 2; size <= (std::size_t{1} << 31); size <<= 1) {
        std::vector<ExtendedComplex> table(twiddleCount(size));
        fillTwiddles(table, size);
        // w^r for r below 2^(L/2), then w^(q 2^(L/2)), for size 2^L
        unsigned bits = 0;
        while ((std::size_t{1} << bits) < size) {
            ++bits;
        }
        const std::size_t fine = std::size_t{1} << (bits / 2);
        ASSERT_EQ(table.size(), fine + (size / 2) / fine) << size;
        for (std::size_t e = 0; e < table.size(); ++e) {
            const std::size_t k = e < fine ? e : (e - fine) * fine;
            const std::complex<long double> error = std::complex<long double>(table[e].re, table[e].im) -
                                                    referenceRoot(k, size);
            worst = std::max(worst, std::abs(error));
        }
    }
    EXPECT_LE(worst, kTableTwiddleError);
    EXPECT_GT(worst, 0.0L);
}

std::vector<ExtendedComplex> randomSignal(std::size_t size, std::mt19937_64& random) {
    std::uniform_real_distribution<double> value(-1, 1);
    std::vector<ExtendedComplex> x(size);
    for (auto& z : x) {
        z = {value(random), value(random)};
    }
    return x;
}

// The transform against the direct sum in quadruple precision: every output
// within the componentwise bound, all together within the normwise one.
TEST(Fft, TransformStaysWithinItsErrorBound) {
    std::mt19937_64 random(17);
    for (const std::size_t size : {1, 2, 4, 8, 64, 1024}) {
        for (const bool inverse : {false, true}) {
            const std::vector<ExtendedComplex> x = randomSignal(size, random);
            std::vector<ExtendedComplex> y = x;
            std::vector<ExtendedComplex> twiddles(twiddleCount(size));
            fillTwiddles(twiddles, size);
            fft(y, twiddles, inverse);
            long double sumAbs = 0;
            long double sumSquares = 0;
            for (const auto& z : x) {
                sumAbs += std::hypot(z.re, z.im);
                sumSquares += z.re * z.re + z.im * z.im;
            }
            const FftErrorBound bound = fftErrorBound(size);
            std::vector<Quad> cosines(size);
            std::vector<Quad> sines(size);
            for (std::size_t k = 0; k < size; ++k) {
                const Quad angle = 8 * atanq(1) * static_cast<Quad>(k) / static_cast<Quad>(size);
                cosines[k] = cosq(angle);
                sines[k] = inverse ? sinq(angle) : -sinq(angle);
            }
            long double worst = 0;
            long double errorSquares = 0;
            for (std::size_t k = 0; k < size; ++k) {
                Quad re = 0;
                Quad im = 0;
                for (std::size_t j = 0; j < size; ++j) {
                    const Quad c = cosines[(j * k) % size];
                    const Quad s = sines[(j * k) % size];
                    re += c * static_cast<Quad>(x[j].re) - s * static_cast<Quad>(x[j].im);
                    im += c * static_cast<Quad>(x[j].im) + s * static_cast<Quad>(x[j].re);
                }
                const long double error = std::hypot(static_cast<long double>(static_cast<Quad>(y[k].re) - re),
                                                     static_cast<long double>(static_cast<Quad>(y[k].im) - im));
                worst = std::max(worst, error);
                errorSquares += error * error;
            }
            SCOPED_TRACE(size);
            EXPECT_LE(worst, bound.componentwise * sumAbs);
            EXPECT_LE(std::sqrt(errorSquares), bound.normwise * std::sqrt(size * sumSquares));
        }
    }
}

// Linear convolution of two real sequences through the transform, against the
// direct sums.
TEST(Fft, ConvolutionMatchesTheDirectConvolution) {
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> value(-2, 2);
    for (const std::size_t length : {1, 2, 3, 17, 100, 1000}) {
        std::vector<long double> a(length);
        std::vector<long double> b(length);
        for (std::size_t j = 0; j < length; ++j) {
            a[j] = value(random);
            b[j] = value(random);
        }
        const std::size_t size = powerOfTwoAtLeast(2 * length - 1);
        std::vector<ExtendedComplex> z(size);
        for (std::size_t j = 0; j < length; ++j) {
            z[j] = {a[j], b[j]};  // both sequences in one transform
        }
        std::vector<ExtendedComplex> twiddles(twiddleCount(size));
        fillTwiddles(twiddles, size);
        fft(z, twiddles, false);
        // A B from Z: A_k = (Z_k + conj Z_-k) / 2, B_k = (Z_k - conj Z_-k) / 2i.
        std::vector<ExtendedComplex> product(size);
        for (std::size_t k = 0; k < size; ++k) {
            const ExtendedComplex zk = z[k];
            const ExtendedComplex zm = z[(size - k) % size];
            const std::complex<long double> ak((zk.re + zm.re) / 2, (zk.im - zm.im) / 2);
            const std::complex<long double> bk((zk.im + zm.im) / 2, (zm.re - zk.re) / 2);
            const std::complex<long double> p = ak * bk;
            product[k] = {p.real(), p.imag()};
        }
        fft(product, twiddles, true);
        long double worst = 0;
        for (std::size_t i = 0; i + 1 < 2 * length; ++i) {
            long double direct = 0;
            for (std::size_t j = 0; j <= i; ++j) {
                if (j < length && i - j < length) {
                    direct += a[j] * b[i - j];
                }
            }
            worst = std::max(worst, std::fabs(product[i].re / static_cast<long double>(size) - direct));
            EXPECT_LE(std::fabs(product[i].im / static_cast<long double>(size)), 1e-15L * length);
        }
        for (std::size_t i = 2 * length - 1; i < size; ++i) {
            EXPECT_LE(std::fabs(product[i].re / static_cast<long double>(size)), 1e-15L * length);
        }
        EXPECT_LE(worst, 1e-15L * length) << length;
    }
}

}  // namespace
}  // namespace kvw::analysis
