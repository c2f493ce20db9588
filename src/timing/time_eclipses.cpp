#include "timing/time_eclipses.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <exception>
#include <mutex>
#include <new>

#include "analysis/eclipse_timing.h"
#include "analysis/working_storage.h"
#include "base/precondition.h"
#include "base/worker_threads.h"
#include "timing/curve_faults.h"
#include "timing/plausibility.h"
#include "uncertainty/minimum_error.h"

namespace kvw::timing {

const char* statusName(Status status) {
    switch (status) {
        case Status::ok:
            return "ok";
        case Status::improper:
            return "improper";
        case Status::partial:
            return "partial";
        case Status::suspect:
            return "suspect";
        case Status::failed:
            return "failed";
    }
    return "failed";
}

namespace {

// A row without numbers: the method gave values that are not finite.
TimedEclipse failedRow(TimedEclipse row, std::span<const double> times, std::span<const double> magnitudes,
                       const std::string& otherwise) {
    row.status = Status::failed;
    row.reason = curveFault(times, magnitudes, otherwise);
    row.time.reset();
    row.error.reset();
    row.errorClassic.reset();
    row.meanValue.reset();
    row.oMinusC.reset();
    return row;
}

// How the error of an eclipse is estimated: the same seed for every eclipse (a
// row does not depend on the thread or order it was timed in), the errors of
// the observations where they carry them, and the noise's slow swings
// measured over the window's context.
uncertainty::ErrorOptions errorOptions(const Eclipse& eclipse, const TimingSettings& settings) {
    uncertainty::ErrorOptions options;
    options.noise = settings.noise;
    const CurveView& curve = eclipse.curve;
    const bool carried = curve.errors.size() == curve.times.size();
    if (carried) {
        options.errors = curve.errors.subspan(eclipse.first, eclipse.last - eclipse.first);
    }
    const std::optional<EclipseWindow>& window = eclipse.predicted;
    if (window && window->contextFirst <= eclipse.first && eclipse.last <= window->contextLast &&
        window->contextLast <= curve.times.size()) {
        const std::size_t first = window->contextFirst;
        const std::size_t count = window->contextLast - first;
        options.context = {curve.times.subspan(first, count), curve.magnitudes.subspan(first, count)};
        if (carried) {
            options.contextErrors = curve.errors.subspan(first, count);
        }
    }
    return options;
}

// Why the method's time cannot be taken although it lies in the eclipse: the
// method is unstable in this window, or the time lies farther from its
// prediction than the window allows (another eclipse, or the ephemeris is off).
std::optional<std::string> doubtOfMethod(const Eclipse& eclipse, const TimedEclipse& row,
                                         const uncertainty::ErrorEstimate& estimate) {
    char text[240];
    if (std::find(row.flags.begin(), row.flags.end(), uncertainty::kUnstable) != row.flags.end()) {
        std::snprintf(text, sizeof text,
                      "the method is unstable in this window: %d of %d re-timings with other noise found their "
                      "minimum outside the eclipse (a narrower window holds it better)",
                      static_cast<int>(estimate.replicasJumped), static_cast<int>(estimate.replicas));
        return std::string(text);
    }
    if (eclipse.predicted && row.oMinusC && std::fabs(*row.oMinusC) > eclipse.predicted->halfWidth / 2) {
        std::snprintf(text, sizeof text,
                      "the minimum lies %.4f days from its predicted time, farther than half the half-width of its "
                      "window (%.4f days): another eclipse, or the ephemeris is off",
                      *row.oMinusC, eclipse.predicted->halfWidth);
        return std::string(text);
    }
    return std::nullopt;
}

// The method on one window, and the checks around it.
TimedEclipse timedRow(const Eclipse& eclipse, const TimingSettings& settings, analysis::WorkingStorage& storage) {
    constexpr int kThreads = 1;  // the eclipses themselves keep every core busy
    require(eclipse.first <= eclipse.last && eclipse.last <= eclipse.curve.times.size() &&
                eclipse.curve.magnitudes.size() == eclipse.curve.times.size(),
            "an eclipse's observations lie within its light curve");
    TimedEclipse row;
    row.points = eclipse.last - eclipse.first;
    const std::span<const double> times = eclipse.times();
    const std::span<const double> magnitudes = eclipse.magnitudes();
    row.firstTime = times.empty() ? std::nan("") : times.front();
    row.lastTime = times.empty() ? std::nan("") : times.back();
    if (eclipse.predicted) {
        if (auto problem = coverageProblem(eclipse.curve.times, *eclipse.predicted)) {
            row.status = Status::partial;
            row.reason = std::move(*problem);
            return row;
        }
    }
    if (row.points < 2) {
        row.status = Status::failed;
        row.reason = "fewer than two observations";
        return row;
    }
    analysis::reserveWorkingStorage(storage, row.points);
    const analysis::EclipseTiming timing = analysis::timeEclipse(times, magnitudes, storage, {kThreads});
    if (!timing.curve.usable()) {
        row.status = Status::failed;
        row.reason = curveFault(times, magnitudes, "the light curve cannot be resampled: " + timing.curve.unusable);
        return row;
    }
    if (settings.keepMethod) {
        row.method = timing;
    }
    if (timing.fit.improper) {
        row.status = Status::improper;
        row.reason = "the smallest asymmetry lies on an end of the searched trials";
        return row;
    }
    if (!std::isfinite(timing.fit.minimumTime) || !std::isfinite(timing.fit.error) ||
        !std::isfinite(timing.fit.meanValue)) {
        return failedRow(std::move(row), times, magnitudes, "the method gives no finite time, error or mean value");
    }
    row.time = timing.fit.minimumTime;
    row.errorClassic = timing.fit.error;
    row.meanValue = timing.fit.meanValue;
    const uncertainty::ErrorEstimate estimate = uncertainty::estimateError(
        {times, magnitudes}, timing, errorOptions(eclipse, settings), uncertainty::minimumTimeOf);
    if (!std::isfinite(estimate.error)) {
        return failedRow(std::move(row), times, magnitudes, "the error of the time is not finite");
    }
    row.error = estimate.error;
    row.flags = estimate.flags;
    if (eclipse.predicted) {
        row.oMinusC = timing.fit.minimumTime - eclipse.predicted->predicted;
    }
    const std::optional<double> noise = settings.noise ? settings.noise : eclipse.curve.noise;
    std::optional<std::string> doubt = implausibility(times, magnitudes, timing.fit.minimumTime, noise);
    if (!doubt) {
        doubt = doubtOfMethod(eclipse, row, estimate);
    }
    row.status = doubt ? Status::suspect : Status::ok;
    row.reason = doubt.value_or("");
    return row;
}

// Any failure but a lack of memory ends the eclipse it met, not the run.
TimedEclipse timedRowOrSayWhy(const Eclipse& eclipse, const TimingSettings& settings,
                              analysis::WorkingStorage& storage) {
    try {
        return timedRow(eclipse, settings, storage);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& failure) {
        TimedEclipse row;
        row.points = eclipse.last - eclipse.first;
        row.firstTime = row.lastTime = std::nan("");
        row.reason = std::string("an unexpected failure in timing this eclipse: ") + failure.what();
        return row;
    }
}

}  // namespace

std::vector<Eclipse> eclipsesIn(const CurveView& curve, std::span<const EclipseWindow> windows) {
    std::vector<Eclipse> eclipses;
    for (const EclipseWindow& window : windows) {
        eclipses.push_back({curve, window.first, window.last, window, {}});
    }
    return eclipses;
}

Eclipse wholeCurve(const CurveView& curve) {
    return {curve, 0, curve.times.size(), std::nullopt, {}};
}

void timeAndCheck(std::span<Eclipse> eclipses, const TimingSettings& settings, unsigned jobs,
                  std::atomic<std::size_t>* finished) {
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    // Each worker takes the next eclipse until none is left, in its own storage.
    auto work = [&] {
        analysis::WorkingStorage storage;
        try {
            for (std::size_t i = next++; i < eclipses.size(); i = next++) {
                eclipses[i].timed = timedRowOrSayWhy(eclipses[i], settings, storage);
                if (finished != nullptr) {
                    finished->fetch_add(1, std::memory_order_relaxed);
                }
            }
        } catch (...) {
            const std::lock_guard<std::mutex> hold(failureLock);
            if (!failure) {
                failure = std::current_exception();
            }
            next = eclipses.size();
        }
    };
    runOnThreads(work, std::max<std::size_t>(1, std::min<std::size_t>(jobs, eclipses.size())));
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace kvw::timing
