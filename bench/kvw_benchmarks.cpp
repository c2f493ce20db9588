// Benchmarks of the phases that grow with the light curve: loading, the
// resampling, the symmetry scan (exact and plain, each row kernel, the plain
// nested search), the summary file's records, and the error estimate.
//
//   build/bench/kvw_benchmarks --benchmark_filter='Load|Select|ScanSymmetry|PairRowKernel|Write'
//   build/bench/kvw_benchmarks --benchmark_filter=Nested

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "analysis/branch.h"
#include "analysis/eclipse_timing.h"
#include "analysis/pair_sums.h"
#include "analysis/symmetry_scan.h"
#include "driver/observation_file.h"
#include "support/references.h"
#include "textio/connections.h"
#include "textio/format.h"
#include "textio/output.h"
#include "textio/run_failure.h"
#include "timescale/time_scale.h"
#include "uncertainty/minimum_error.h"

namespace {

using namespace kvw;

// A primary eclipse at Julian dates: a Gaussian dip of 0.75 mag over 0.3 days,
// n evenly spaced observations with 4 millimag of noise. Beyond 300,000 points
// the curve is longer in proportion (the same shape in phase), so that half a
// grid step stays above the pair tolerance and only the symmetric pairs pass.
struct Series {
    std::vector<double> times;
    std::vector<double> magnitudes;
};

Series syntheticEclipse(std::int32_t n) {
    std::mt19937_64 random(static_cast<std::uint64_t>(n));
    std::normal_distribution<double> noise(0.0, 0.004);
    Series series;
    const double span = 0.3 * std::max(1.0, n / 300000.0);
    const double begin = 2459000.25;
    const double centre = begin + 0.1537 / 0.3 * span;
    for (std::int32_t k = 0; k < n; ++k) {
        const double t = begin + span * k / (n - 1);
        const double x = (t - centre) / (0.045 / 0.3 * span);
        series.times.push_back(t);
        series.magnitudes.push_back(10.0 + 0.75 * std::exp(-x * x) + noise(random));
    }
    return series;
}

std::filesystem::path writeObservationFile(std::int32_t n) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("kvw-bench-" + std::to_string(::getpid()) + "-" + std::to_string(n) + ".dat");
    const Series series = syntheticEclipse(n);
    std::ofstream out(path);
    char line[64];
    for (std::int32_t k = 0; k < n; ++k) {
        std::snprintf(line, sizeof line, "%.6f %.4f\n", series.times[static_cast<std::size_t>(k)],
                      series.magnitudes[static_cast<std::size_t>(k)]);
        out << line;
    }
    return path;
}

void BM_LoadObservations(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const std::filesystem::path path = writeObservationFile(n);
    for (auto _ : state) {
        analysis::WorkingStorage storage;
        const driver::ObservationSeries series = driver::loadObservations(path.string(), storage);
        benchmark::DoNotOptimize(series.times.data());
    }
    textio::closeAllConnections();
    std::filesystem::remove(path);
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_LoadObservations)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_SelectBranchAndResample(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const Series series = syntheticEclipse(n);
    analysis::WorkingStorage storage;
    analysis::reserveWorkingStorage(storage, series.times.size());
    for (auto _ : state) {
        const analysis::ResampledCurve curve =
            analysis::selectBranchAndResample(series.times, series.magnitudes, storage.resampling);
        benchmark::DoNotOptimize(curve.gridMagnitudes.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_SelectBranchAndResample)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The whole scan of the synthetic eclipse's grid on one thread, exact or
// plain (the second argument: 0 or 1), and its time per pair.
void BM_ScanSymmetry(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const Series series = syntheticEclipse(n);
    const testing::OwnResampling own = testing::resampleSeries(series.times, series.magnitudes);
    const analysis::ResampledCurve& curve = own.curve;
    analysis::WorkingStorage storage;
    analysis::reserveWorkingStorage(storage, series.times.size());
    const analysis::ScanSettings settings{
        1, state.range(1) == 0 ? analysis::SumRounding::exact : analysis::SumRounding::plain};
    std::int64_t pairs = 0;
    for (auto _ : state) {
        const analysis::SymmetryScan scan = analysis::computeSymmetry(curve, storage.scan, settings);
        pairs = 0;
        for (const std::int32_t count : scan.pairCounts) {
            pairs += count;
        }
        benchmark::DoNotOptimize(scan.sums.data());
    }
    state.counters["points_in_window"] = curve.branchPoints;
    state.counters["pairs"] = static_cast<double>(pairs);
    state.counters["time_per_pair"] = benchmark::Counter(
        static_cast<double>(pairs), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ScanSymmetry)
    ->ArgsProduct({{1'000, 2'000, 20'000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanSymmetry)->ArgsProduct({{100'000}, {0, 1}})->Iterations(1)->Unit(benchmark::kMillisecond);

// Each row kernel of each instruction set this processor runs: rows of 1,024
// trials over a grid of 20,000 magnitudes, absolute (10 to 10.75) or
// differential (0 to 0.75, both signs in the noise). Arguments: the
// instruction set (0 portable, 1 AVX2, 2 AVX-512), the rounding (0 exact,
// 1 plain), the magnitudes (0 absolute, 1 differential).
void BM_PairRowKernel(benchmark::State& state) {
    const auto set = static_cast<analysis::InstructionSet>(state.range(0));
    if (state.range(0) > static_cast<std::int64_t>(analysis::processorInstructionSet())) {
        state.SkipWithError("the processor does not run this instruction set");
        return;
    }
    std::vector<double> magnitudes = syntheticEclipse(20'000).magnitudes;
    if (state.range(2) == 1) {
        for (double& m : magnitudes) {
            m -= 10.0;
        }
    }
    const auto rounding = state.range(1) == 0 ? analysis::SumRounding::exact : analysis::SumRounding::plain;
    const analysis::PairRowKernel addRow = analysis::pairRowKernel(magnitudes, rounding, set);
    constexpr std::size_t kRow = 1024;
    std::vector<double> sums(kRow);
    for (auto _ : state) {
        std::fill(sums.begin(), sums.end(), 0.0);
        for (std::size_t p = 0; p + kRow < magnitudes.size(); ++p) {
            addRow(magnitudes[p], magnitudes.data() + p + 1, sums.data(), kRow);
        }
        benchmark::DoNotOptimize(sums.data());
    }
    const auto pairs = static_cast<double>((magnitudes.size() - kRow) * kRow);
    state.counters["time_per_pair"] = benchmark::Counter(
        pairs, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PairRowKernel)->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);

// The plain nested search, for comparison; it also checks that the scan's
// results are the same, bit for bit.
void BM_NestedSearch(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const Series series = syntheticEclipse(n);
    const testing::OwnResampling own = testing::resampleSeries(series.times, series.magnitudes);
    const analysis::ResampledCurve& curve = own.curve;
    for (auto _ : state) {
        const testing::ReferenceScan reference =
            testing::nestedSearch(curve.gridTimes, curve.gridMagnitudes, curve.intervals, curve.step, curve.halfCount);
        state.PauseTiming();
        const testing::OwnScan scanned =
            testing::scanGrid(curve.gridTimes, curve.gridMagnitudes, curve.intervals, curve.step, curve.halfCount);
        const analysis::SymmetryScan& scan = scanned.scan;
        const bool same = std::equal(scan.pairCounts.begin(), scan.pairCounts.end(), reference.pairCounts.begin(),
                                     reference.pairCounts.end()) &&
                          std::memcmp(scan.sums.data(), reference.sums.data(), reference.sums.size() * sizeof(double)) == 0;
        if (!same) {
            state.SkipWithError("the scan differs from the nested search");
        }
        state.ResumeTiming();
    }
    state.counters["points_in_window"] = curve.branchPoints;
}
BENCHMARK(BM_NestedSearch)->Arg(1'000)->Arg(2'000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_WriteSummaryRecords(benchmark::State& state) {
    const auto records = static_cast<std::int32_t>(state.range(0));
    static const textio::Format summaryRecord("(2I5,1X,F14.8)");
    const auto path = std::filesystem::temp_directory_path() / ("kvw-bench-" + std::to_string(::getpid()) + ".sum");
    for (auto _ : state) {
        textio::OutputConnection& file = textio::openConnection(textio::kFileUnit, path.string(), "UNKNOWN");
        for (std::int32_t i = 1; i <= records; ++i) {
            textio::writeFormatted(file, summaryRecord, {i, i / 2, 0.001953125 * i});
        }
        textio::closeAllConnections();
    }
    std::filesystem::remove(path);
    state.SetItemsProcessed(state.iterations() * records);
}
BENCHMARK(BM_WriteSummaryRecords)->Arg(400'000)->Unit(benchmark::kMillisecond);

// The error of one eclipse's time of minimum (replicas re-timed included),
// for windows of n observations; the replica count falls as 1/n^2 past 250.
void BM_EstimateError(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const Series series = syntheticEclipse(n);
    const uncertainty::Observations curve{series.times, series.magnitudes};
    const analysis::EclipseTiming result = analysis::timeEclipse(series.times, series.magnitudes);
    for (auto _ : state) {
        const uncertainty::ErrorEstimate estimate =
            uncertainty::estimateError(curve, result, {}, uncertainty::minimumTimeOf);
        benchmark::DoNotOptimize(estimate.error);
    }
    state.counters["replicas"] = uncertainty::automaticReplicaCount(static_cast<std::size_t>(n));
}
BENCHMARK(BM_EstimateError)->Arg(170)->Arg(500)->Arg(1'000)->Arg(2'000)->Unit(benchmark::kMillisecond);

// One timing of a window by the method, the unit of a replica's cost.
void BM_TimeLightCurve(benchmark::State& state) {
    const auto n = static_cast<std::int32_t>(state.range(0));
    const Series series = syntheticEclipse(n);
    const uncertainty::Observations curve{series.times, series.magnitudes};
    for (auto _ : state) {
        benchmark::DoNotOptimize(uncertainty::minimumTimeOf(curve));
    }
}
BENCHMARK(BM_TimeLightCurve)->Arg(170)->Arg(1'000)->Unit(benchmark::kMicrosecond);

// A TESS sector (27 days of 2-minute cadences, 19,440 times) converted from
// JD_UTC to BJD_TDB and from BJD_TDB to HJD_UTC (the inverse first, from the
// guess of the times before: one evaluation of ERFA's Earth per time either
// way), on one and two threads.
void BM_ConvertTimes(benchmark::State& state) {
    std::vector<double> times(19'440);
    for (std::size_t i = 0; i < times.size(); ++i) {
        times[i] = 2458849.5 + static_cast<double>(i) / 720;
    }
    const auto from = state.range(0) == 0 ? timescale::TimeScale::jdUtc : timescale::TimeScale::bjdTdb;
    const auto to = state.range(0) == 0 ? timescale::TimeScale::bjdTdb : timescale::TimeScale::hjdUtc;
    for (auto _ : state) {
        const auto threads = static_cast<unsigned>(state.range(1));
        benchmark::DoNotOptimize(timescale::convertTimes(times, from, to, {248.57, 57.16}, threads).times.data());
    }
}
BENCHMARK(BM_ConvertTimes)->ArgsProduct({{0, 1}, {1, 2}})->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
