#include "analysis/fft.h"

#include <algorithm>
#include <cmath>

#include "base/precondition.h"

namespace kvw::analysis {

namespace {

// The twiddle table holds w^r for r < 2^lowBits ("fine") followed by
// w^(q 2^lowBits) for the q that reach size / 2 ("coarse"), w = exp(-2 pi i / size);
// any w^k, k < size / 2, is one product of the two. Both parts stay near the
// square root of the size, so the table is small.
struct TableShape {
    unsigned lowBits = 0;
    std::size_t fine = 1;
    std::size_t coarse = 1;
};

unsigned log2Exact(std::size_t size) {
    require(size != 0 && (size & (size - 1)) == 0, "a transform of a power of two points");
    unsigned bits = 0;
    while ((std::size_t{1} << bits) < size) {
        ++bits;
    }
    return bits;
}

TableShape tableShape(std::size_t size) {
    const unsigned bits = log2Exact(size);
    TableShape shape;
    if (bits == 0) {
        return shape;
    }
    shape.lowBits = bits / 2;
    shape.fine = std::size_t{1} << shape.lowBits;
    shape.coarse = std::size_t{1} << (bits - 1 - shape.lowBits);
    return shape;
}

constexpr long double kTwoPi = 6.283185307179586476925286766559005768L;

// exp(-2 pi i k / size) for k < size / 2. The angle is reduced to at most an
// eighth of a turn by exact symmetries, so that its rounding and the library's
// sine and cosine (accurate to a few units of 2^-64 there) stay far within
// kTableTwiddleError.
ExtendedComplex rootOfUnity(std::size_t k, std::size_t size) {
    long double turn = static_cast<long double>(k) / static_cast<long double>(size);  // exact, in [0, 1/2)
    bool negateCos = false;
    if (turn > 0.25L) {
        turn = 0.5L - turn;
        negateCos = true;
    }
    bool swap = false;
    if (turn > 0.125L) {
        turn = 0.25L - turn;
        swap = true;
    }
    const long double angle = kTwoPi * turn;
    long double c = std::cos(angle);
    long double s = std::sin(angle);
    if (swap) {
        std::swap(c, s);
    }
    if (negateCos) {
        c = -c;
    }
    return {c, -s};
}

inline ExtendedComplex multiply(const ExtendedComplex& a, const ExtendedComplex& b) {
    return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

// Twiddles are formed a chunk at a time, then used for every group of the stage.
constexpr std::size_t kChunk = 512;

}  // namespace

std::size_t powerOfTwoAtLeast(std::size_t count) {
    std::size_t size = 1;
    while (size < count) {
        size <<= 1;
    }
    return size;
}

std::size_t twiddleCount(std::size_t size) {
    const TableShape shape = tableShape(size);
    return shape.fine + shape.coarse;
}

void fillTwiddles(std::span<ExtendedComplex> twiddles, std::size_t size) {
    const TableShape shape = tableShape(size);
    require(twiddles.size() >= shape.fine + shape.coarse, "a twiddle table of twiddleCount(size) entries");
    if (size < 2) {
        twiddles[0] = twiddles[1] = {1, 0};
        return;
    }
    for (std::size_t r = 0; r < shape.fine; ++r) {
        twiddles[r] = rootOfUnity(r, size);
    }
    for (std::size_t q = 0; q < shape.coarse; ++q) {
        twiddles[shape.fine + q] = rootOfUnity(q << shape.lowBits, size);
    }
}

void fft(std::span<ExtendedComplex> data, std::span<const ExtendedComplex> twiddles, bool inverse) {
    const std::size_t size = data.size();
    const TableShape shape = tableShape(size);
    require(twiddles.size() >= shape.fine + shape.coarse, "a twiddle table of twiddleCount(size) entries");
    // Bit-reversed order first, so that each stage combines neighbouring halves.
    for (std::size_t i = 1, j = 0; i < size; ++i) {
        std::size_t bit = size >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(data[i], data[j]);
        }
    }
    const std::size_t fineMask = shape.fine - 1;
    ExtendedComplex chunk[kChunk];
    for (std::size_t length = 2; length <= size; length <<= 1) {
        const std::size_t half = length / 2;
        const std::size_t exponentStep = size / length;
        for (std::size_t first = 0; first < half; first += kChunk) {
            const std::size_t count = std::min(kChunk, half - first);
            for (std::size_t r = 0; r < count; ++r) {
                const std::size_t k = (first + r) * exponentStep;
                ExtendedComplex w = multiply(twiddles[k & fineMask], twiddles[shape.fine + (k >> shape.lowBits)]);
                if (inverse) {
                    w.im = -w.im;
                }
                chunk[r] = w;
            }
            for (std::size_t group = first; group < size; group += length) {
                ExtendedComplex* top = data.data() + group;
                ExtendedComplex* bottom = top + half;
                for (std::size_t r = 0; r < count; ++r) {
                    const ExtendedComplex t = multiply(chunk[r], bottom[r]);
                    const ExtendedComplex u = top[r];
                    top[r] = {u.re + t.re, u.im + t.im};
                    bottom[r] = {u.re - t.re, u.im - t.im};
                }
            }
        }
    }
}

FftErrorBound fftErrorBound(std::size_t size) {
    // Each butterfly output u + w v is within eta (|u| + |v|) of the exact one
    // for its computed inputs: eta covers the twiddle's error mu, the complex
    // product (sqrt(2) gamma_2, Higham, Lemma 3.5) and the addition (one unit).
    // Componentwise, the stages' errors compound to ((1 + eta)^L - 1) sum |x_j|
    // (every output has one path of unit weight from every input); normwise,
    // each stage is sqrt(2) times a unitary map, giving ((1 + sqrt(2) eta)^L - 1).
    const long double unit = std::ldexp(1.0L, -64);
    const long double mu = kTwiddleError;
    const long double eta = mu * (1 + std::ldexp(1.0L, -40)) + 4 * unit;
    const auto stages = static_cast<long double>(log2Exact(size));
    auto compound = [stages](long double x) { return stages * x * (1 + 2 * stages * x); };  // >= (1+x)^L - 1
    const long double slack = 1 + std::ldexp(1.0L, -20);
    return {compound(eta) * slack, compound(1.41422L * eta) * slack};
}

}  // namespace kvw::analysis
