// LU decomposition with implicit partial pivoting (Crout's method) and
// forward and back substitution, in place over caller-owned arrays.
//
// The matrix is the leading n-by-n block of a column-major array with column
// length np: element (i, j), counted from 1, sits at (i - 1) + (j - 1) * np.
#pragma once

#include <span>

namespace kvw::linalg {

// The largest order supported: the capacity of the row scale vector.
inline constexpr int MAX_ORDER = 100;

// Put in place of a pivot that is exactly zero: the single-precision 1.0E-20
// widened to double (bit pattern 3BC79CA1 00000000).
inline constexpr double TINY_PIVOT = static_cast<double>(1.0e-20f);

// Replaces A by the factors of a row permutation of itself. pivotRows(j) is
// the row interchanged with row j at step j; parity is +1 or -1 by the number
// of interchanges. Returns the number of rows that are all zero: the matrix is
// then singular, and the decomposition goes on all the same (a zero pivot
// replaced by TINY_PIVOT), for the caller to report. Requires
// 1 <= n <= MAX_ORDER and n <= np, and allocates nothing.
int ludcmp(std::span<double> a, int n, int np, std::span<int> pivotRows, double& parity);

// Solves with the factors of ludcmp for one right-hand side b, in place.
void lubksb(std::span<const double> a, int n, int np, std::span<const int> pivotRows, std::span<double> b);

}  // namespace kvw::linalg
