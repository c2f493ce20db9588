// The symmetric pairs of a trial, in one definition for the scan, the fast
// scan and the error of the time of minimum.
//
// Trial i (counted from 1) lies at the grid's start plus i half steps. The
// grid points placed symmetrically about it are p < q (counted from 1) with
// p + q = i + 2, among the N paired points. In table indices (from 0) they are
// a < b with a + b = i and b < N: a runs from max(0, i + 1 - N) to (i - 1) / 2.
#pragma once

#include <algorithm>
#include <cstdint>

namespace kvw::analysis {

// Indices first..last; empty when last < first.
struct IndexRange {
    std::int64_t first = 0;
    std::int64_t last = -1;
    constexpr std::int64_t count() const { return last >= first ? last - first + 1 : 0; }
};

// The first points a of the symmetric pairs of trial i on N paired points;
// the partner of a is i - a.
constexpr IndexRange symmetricPairsOf(std::int64_t trial, std::int64_t points) {
    return {std::max<std::int64_t>(0, trial + 1 - points), (trial - 1) / 2};
}

// The trials whose symmetric pairs have grid point a (from 0) as their first
// point: i from 2a + 1 to a + N - 1.
constexpr IndexRange trialsPairing(std::int64_t first, std::int64_t points) {
    return {2 * first + 1, first + points - 1};
}

}  // namespace kvw::analysis
