// Randomized comparison of the symmetry scan (its vector kernels, on this
// processor) with the extended formula term by term, on generated light
// curves: Julian-date offsets, noise levels, absolute and differential
// magnitudes, short windows, even and uneven cadences, sizes from 10
// observations up.
//
//   build/bench/scan_compare [curves] [largest] [large-curves] [seed]
//
// For each curve the branch is resampled as the program does it, and the
// summary records (I5, I5, F14.8), the bits of every sum and the fit are
// compared between computeSymmetry and the reference: the nested search over
// every pair for small curves, the symmetric sums trial by trial by the
// extended formula (on two threads) otherwise. Prints one line per large curve
// and a summary; exits 1 on any difference.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "analysis/branch.h"
#include "analysis/minimum.h"
#include "analysis/symmetry_scan.h"
#include "support/references.h"
#include "support/fields.h"

namespace {

using namespace kvw;

struct Generated {
    std::vector<double> times;
    std::vector<double> magnitudes;
    std::string description;
};

Generated generate(std::int32_t n, bool shortWindow, std::mt19937_64& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double offsets[] = {0.0, 2459000.0, 2455000.5, 2451545.0, -3.7, 1024.12, 50000.25};
    const double offset = offsets[random() % 7] + (unit(random) < 0.5 ? unit(random) : 0.0);
    const double span = shortWindow ? std::pow(10.0, -7 + 2.5 * unit(random)) * n : std::pow(10.0, -2 + 2 * unit(random));
    const double noise = unit(random) < 0.15 ? 0.0 : std::pow(10.0, -5 + 4.5 * unit(random));
    const double depth = std::pow(10.0, -2 + 2.3 * unit(random));
    const double base = unit(random) < 0.3 ? 0.0 : -1 + 16 * unit(random);  // differential magnitudes at 0
    const double centre = 0.3 + 0.4 * unit(random);
    const double width = 0.05 + 0.25 * unit(random);
    const bool uneven = unit(random) < 0.4;
    const bool rounded = unit(random) < 0.5;  // magnitudes written with 4 decimals, as photometry often is
    std::normal_distribution<double> scatter(0.0, 1.0);
    Generated g;
    double t = 0;
    for (std::int32_t k = 0; k < n; ++k) {
        t = uneven ? t + (0.2 + 1.6 * unit(random)) : k;
        g.times.push_back(t);
    }
    const double last = t > 0 ? t : 1;
    for (std::int32_t k = 0; k < n; ++k) {
        const double phase = g.times[k] / last;
        g.times[k] = offset + span * phase;
        const double x = (phase - centre) / width;
        double m = base + depth * std::exp(-x * x) + noise * scatter(random);
        if (rounded) {
            m = std::round(m * 1e4) / 1e4;
        }
        g.magnitudes.push_back(m);
    }
    char text[160];
    std::snprintf(text, sizeof text, "n=%d offset=%.2f span=%.3g base=%.3g noise=%.2g depth=%.2g%s%s", n, offset,
                  span, base, noise, depth, uneven ? " uneven" : "", rounded ? " 4-decimals" : "");
    g.description = text;
    return g;
}

std::string records(const analysis::SymmetryScan& scan) {
    std::string out;
    for (std::int32_t i = 1; i <= scan.trialCount; ++i) {
        const auto k = static_cast<std::size_t>(i - 1);
        out += testing::integerField(i, 5) + testing::integerField(scan.pairCounts[k], 5) + " " +
               testing::fixedField(scan.sums[k], 14, 8) + "\n";
    }
    return out;
}

std::string report(const analysis::SymmetryScan& scan, const analysis::ResampledCurve& curve) {
    const analysis::MinimumFit r = analysis::fitMinimum(scan, curve.halfCount, curve.branchPoints, curve.dayOffset);
    if (r.improper) {
        return "improper at " + std::to_string(r.smallestTrial);
    }
    return std::to_string(r.smallestTrial) + " " + testing::fixedField(r.meanValue, 9, 6) + " " +
           testing::fixedField(r.minimumTime, 14, 6) + " " + testing::fixedField(r.error, 14, 6);
}

// The symmetric sums of every trial by the extended formula, on two threads.
void exactEverywhere(std::span<const double> grid, std::vector<double>& sums) {
    const auto trials = static_cast<std::int32_t>(2 * grid.size() - 1);
    // Trials from about 0.29 of the list on carry half of the pairs.
    const auto split = static_cast<std::int32_t>(0.29289 * trials);
    std::thread other([&] { testing::symmetricSums(grid, split + 1, trials, sums); });
    testing::symmetricSums(grid, 1, split, sums);
    other.join();
}

bool sameSums(const analysis::SymmetryScan& a, const analysis::SymmetryScan& b) {
    for (std::int32_t i = 0; i < a.trialCount; ++i) {
        if (!testing::sameBits(a.sums[static_cast<std::size_t>(i)], b.sums[static_cast<std::size_t>(i)])) {
            return false;
        }
    }
    return true;
}

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int curves = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int largest = argc > 2 ? std::atoi(argv[2]) : 200000;
    const int largeCurves = argc > 3 ? std::atoi(argv[3]) : 8;
    std::mt19937_64 random(argc > 4 ? std::strtoull(argv[4], nullptr, 10) : 20261209);
    std::uniform_real_distribution<double> unit(0.0, 1.0);

    int compared = 0, skipped = 0, shortWindows = 0, differences = 0;
    std::int64_t pairs = 0;
    const double start = seconds();
    for (int c = 0; c < curves; ++c) {
        // Mostly up to 20,000 observations; the last few up to `largest`, the very last at it.
        const bool large = c >= curves - largeCurves;
        const bool shortWindow = !large && c % 10 == 3;
        std::int32_t n = 0;
        if (c == curves - 1) {
            n = largest;
        } else if (large) {
            n = static_cast<std::int32_t>(20000 * std::pow(largest / 20000.0, unit(random)));
        } else {
            n = static_cast<std::int32_t>(10 * std::pow((shortWindow ? 300 : 20000) / 10.0, unit(random)));
        }
        const Generated g = generate(n, shortWindow, random);
        testing::OwnResampling own;
        try {
            own = testing::resampleSeries(g.times, g.magnitudes);
        } catch (const std::exception& failure) {
            if (large) {
                std::printf("skipped %s: %s\n", g.description.c_str(), failure.what());
            }
            ++skipped;
            continue;
        }
        const analysis::ResampledCurve& curve = own.curve;
        const double began = seconds();
        const testing::OwnScan scanned = testing::scanGrid(curve.gridTimes, curve.gridMagnitudes, curve.intervals,
                                                           curve.step, curve.halfCount);
        const analysis::SymmetryScan& program = scanned.scan;
        const auto grid = curve.gridMagnitudes.first(static_cast<std::size_t>(curve.intervals));
        const bool clearlyEven = curve.step / 2 > 1.5e-7;  // well above the pair tolerance of 1e-7 days

        std::vector<double> referenceSums;
        std::vector<std::int32_t> referencePairs(program.pairCounts.begin(), program.pairCounts.end());
        if (curve.intervals <= 400) {
            const testing::ReferenceScan nested = testing::nestedSearch(
                curve.gridTimes, curve.gridMagnitudes, curve.intervals, curve.step, curve.halfCount);
            referenceSums = nested.sums;
            referencePairs = nested.pairCounts;
        } else if (clearlyEven) {
            referenceSums.resize(grid.size() * 2 - 1);
            exactEverywhere(grid, referenceSums);
        } else {
            if (large) {
                std::printf("skipped %s: too short a window for the exact symmetric sums\n", g.description.c_str());
            }
            ++skipped;  // a short window too large for the nested search
            continue;
        }
        const analysis::SymmetryScan reference{program.trialCount, program.trialTimes, referenceSums, referencePairs};
        shortWindows += shortWindow ? 1 : 0;
        for (const std::int32_t count : program.pairCounts) {
            pairs += count;
        }
        const bool same = sameSums(program, reference) && records(program) == records(reference) &&
                          report(program, curve) == report(reference, curve);
        if (large) {
            std::printf("%-70s trials %8d  %.1f s\n", g.description.c_str(), program.trialCount, seconds() - began);
            std::fflush(stdout);
        }
        ++compared;
        if (!same) {
            ++differences;
            std::printf("DIFFERENT: curve %d, %s\n", c, g.description.c_str());
        }
    }
    std::printf("curves %d: compared %d (short windows %d), skipped %d; pairs %lld; differences %d; %.0f s\n", curves,
                compared, shortWindows, skipped, static_cast<long long>(pairs), differences, seconds() - start);
    return differences == 0 ? 0 : 1;
}
