#include "linalg/lu.h"

#include <cmath>
#include <cstddef>
#include <utility>

#include "base/precondition.h"
#include "linalg/extended.h"

namespace kvw::linalg {

namespace {

// The caller's promise: an order the row scale has room for, and arrays that
// hold the block.
bool argumentsFit(std::size_t arraySize, int n, int np, std::size_t vectorSize) {
    return n >= 1 && n <= MAX_ORDER && np >= n && vectorSize >= static_cast<std::size_t>(n) &&
           arraySize >= static_cast<std::size_t>(n - 1) * static_cast<std::size_t>(np) + static_cast<std::size_t>(n);
}

// The implicit scaling: each row's scale is 1 over its largest magnitude
// (infinite for a row of zeros). Returns the number of all-zero rows.
int scaleRows(std::span<const double> a, int n, int np, double* rowScale) {
    int zeroRows = 0;
    for (int i = 1; i <= n; ++i) {
        double big = 0.0;
        for (int j = 1; j <= n; ++j) {
            const std::size_t row = static_cast<std::size_t>(i - 1);
            const double magnitude = std::fabs(a[row + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(np)]);
            if (magnitude > big) {
                big = magnitude;
            }
        }
        if (big == 0.0) {
            ++zeroRows;
        }
        rowScale[i - 1] = store(1.0L / big);
    }
    return zeroRows;
}

}  // namespace

int ludcmp(std::span<double> a, int n, int np, std::span<int> pivotRows, double& parity) {
    require(argumentsFit(a.size(), n, np, pivotRows.size()), "an order from 1 to MAX_ORDER and arrays that hold it");
    // Element (i, j), counted from 1.
    auto at = [&a, np](int i, int j) -> double& {
        return a[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(np)];
    };
    double rowScale[MAX_ORDER];
    parity = 1.0;
    const int zeroRows = scaleRows(a, n, np, rowScale);

    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i < j; ++i) {
            Extended sum = at(i, j);
            for (int k = 1; k < i; ++k) {
                sum -= static_cast<Extended>(at(i, k)) * at(k, j);
            }
            at(i, j) = store(sum);
        }
        double best = 0.0;
        int pivot = j;  // kept when no candidate compares (every one NaN)
        for (int i = j; i <= n; ++i) {
            Extended sum = at(i, j);
            for (int k = 1; k < j; ++k) {
                sum -= static_cast<Extended>(at(i, k)) * at(k, j);
            }
            at(i, j) = store(sum);
            const double candidate = store(rowScale[i - 1] * std::fabs(sum));
            if (candidate >= best) {
                best = candidate;
                pivot = i;
            }
        }
        if (pivot != j) {
            for (int k = 1; k <= n; ++k) {
                std::swap(at(pivot, k), at(j, k));
            }
            parity = -parity;
            rowScale[pivot - 1] = rowScale[j - 1];
        }
        pivotRows[static_cast<std::size_t>(j - 1)] = pivot;
        if (j != n) {
            if (at(j, j) == 0.0) {
                at(j, j) = TINY_PIVOT;
            }
            const double reciprocal = store(1.0L / at(j, j));
            for (int i = j + 1; i <= n; ++i) {
                at(i, j) = store(static_cast<Extended>(at(i, j)) * reciprocal);
            }
        }
    }
    if (at(n, n) == 0.0) {
        at(n, n) = TINY_PIVOT;
    }
    return zeroRows;
}

void lubksb(std::span<const double> a, int n, int np, std::span<const int> pivotRows, std::span<double> b) {
    require(argumentsFit(a.size(), n, np, pivotRows.size()) && b.size() >= static_cast<std::size_t>(n),
            "an order from 1 to MAX_ORDER and arrays that hold it");
    auto at = [&a, np](int i, int j) {
        return a[static_cast<std::size_t>(i - 1) + static_cast<std::size_t>(j - 1) * static_cast<std::size_t>(np)];
    };
    auto rhs = [&b](int i) -> double& { return b[static_cast<std::size_t>(i - 1)]; };

    int first = 0;  // the first non-zero element of the permuted right-hand side
    for (int i = 1; i <= n; ++i) {
        const int row = pivotRows[static_cast<std::size_t>(i - 1)];
        require(row >= i && row <= n, "a pivot row that ludcmp records");
        Extended sum = rhs(row);
        rhs(row) = rhs(i);
        if (first != 0) {
            for (int k = first; k < i; ++k) {
                sum -= static_cast<Extended>(at(i, k)) * rhs(k);
            }
        } else if (sum != 0) {
            first = i;
        }
        rhs(i) = store(sum);
    }
    for (int i = n; i >= 1; --i) {
        Extended sum = rhs(i);
        for (int k = i + 1; k <= n; ++k) {
            sum -= static_cast<Extended>(at(i, k)) * rhs(k);
        }
        rhs(i) = store(sum / at(i, i));
    }
}

}  // namespace kvw::linalg
