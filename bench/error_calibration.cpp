// Calibration of the errors of the time of minimum on simulated eclipses.
//
// For each condition, a few hundred eclipses with known minima are simulated
// within W of a predicted time (off the truth by a random amount) and timed as
// kvw-minima times them, through the timing room with an ephemeris of that
// epoch alone: on all the observations (the window W given), or on the window
// it measures from the light curve (the "automatic" sets, on a run of +-W).
// Every error candidate is computed for the rows that come out ok. For each
// candidate the table shows the standard deviation and the mean of
// (time - truth) / error and the median error: a calibrated error has a
// standard deviation near 1. The rows that are not ok are counted by status.
//
//   build/bench/kvw_error_calibration [--eclipses N] [--seed S] [--set NAME-PART]
//                                     [--known-noise] [--dump]
//
// --known-noise gives each eclipse its noise (white and red) as the user's noise;
// --dump prints one line per eclipse with every candidate.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "analysis/eclipse_timing.h"
#include "timing/eclipse_extent.h"
#include "timing/ephemeris.h"
#include "timing/time_eclipses.h"
#include "uncertainty/minimum_error.h"

namespace {

using namespace kvw::uncertainty;

constexpr double kMinute = 1.0 / 1440;

// How the white noise varies over a run; the observations then carry their
// errors (the noise of each), which kvw-minima reads from an error column.
enum class NoiseShape {
    even,     // the same everywhere; no errors
    growing,  // growing linearly from 1 to 6 times over the run
    egress,   // 5 times after the minimum
    ends,     // 1 + 3 x^2 times, x the distance from the predicted time in units of W
    photon,   // as photon noise: 10^(0.2 dip) times (fainter in eclipse)
};

// The eclipse: 10 mag out of eclipse, a dip of depth D with the profile
// exp(1 - cosh(x)), x = (t - t0) / w, its width w before the minimum and w'
// after it. The dip is largest at x = 0 on both sides and its slope is
// continuous there, so t0 is the time of minimum light even when w' != w. The
// dip falls below 1 % of its depth at |x| = 2.41: 0.048 d from t0 for w = 0.02 d,
// the eclipse's half-duration below.
struct Condition {
    const char* name;
    double cadence;          // days between observations (their mean when uneven)
    bool uneven;             // intervals drawn at random, with occasional gaps
    double halfWidth;        // W: the observations within W of the predicted time are timed
    double predictionSpread; // the predicted time is off the truth by up to this, uniformly
    double depth;
    double widthBefore;
    double widthAfter;
    double whiteNoise;       // magnitudes
    double redNoise;         // magnitudes, with the correlation time below
    double redTime;          // days
    double shortSideMin;     // when > 0: the run starts this far before the minimum at the
    double shortSideMax;     //   latest, drawn uniformly between the two
    bool automatic = false;  // the window measured from the light curve (a run of +-W simulated)
    NoiseShape shape = NoiseShape::even;
};

constexpr bool kAutomatic = true;

const std::vector<Condition> kConditions = {
    {"dense-even (TESS-like)", 2 * kMinute, false, 0.118, 0.01, 0.5, 0.02, 0.02, 0.001, 0, 0, 0, 0},
    {"uneven, moderate noise", 2.5 * kMinute, true, 0.11, 0.01, 0.4, 0.02, 0.02, 0.01, 0, 0, 0, 0},
    {"sparse and noisy", 10 * kMinute, true, 0.12, 0.01, 0.4, 0.02, 0.02, 0.03, 0, 0, 0, 0},
    {"correlated noise", 2.5 * kMinute, true, 0.11, 0.01, 0.4, 0.02, 0.02, 0.004, 0.006, 0.01, 0, 0},
    {"one side covered more", 2 * kMinute, false, 0.118, 0.01, 0.5, 0.02, 0.02, 0.005, 0, 0, 0.05, 0.07},
    {"asymmetric eclipse", 2 * kMinute, false, 0.118, 0.01, 0.5, 0.02, 0.022, 0.005, 0, 0, 0, 0},
    // Wide windows: W 3 and 4 times the eclipse's half-duration.
    {"wide 3x, dense-even", 2 * kMinute, false, 0.145, 0.01, 0.5, 0.02, 0.02, 0.001, 0, 0, 0, 0},
    {"wide 4x, dense-even", 2 * kMinute, false, 0.195, 0.01, 0.5, 0.02, 0.02, 0.001, 0, 0, 0, 0},
    {"wide 4x, uneven", 2.5 * kMinute, true, 0.195, 0.01, 0.4, 0.02, 0.02, 0.01, 0, 0, 0, 0},
    {"wide 3x, sparse", 10 * kMinute, true, 0.145, 0.01, 0.4, 0.02, 0.02, 0.03, 0, 0, 0, 0},
    {"wide 4x, sparse", 10 * kMinute, true, 0.195, 0.01, 0.4, 0.02, 0.02, 0.03, 0, 0, 0, 0},
    {"wide 4x, correlated", 2.5 * kMinute, true, 0.195, 0.01, 0.4, 0.02, 0.02, 0.004, 0.006, 0.01, 0, 0},
    {"wide 4x, shallow", 2 * kMinute, false, 0.195, 0.01, 0.02, 0.02, 0.02, 0.002, 0, 0, 0, 0},
    // The window kvw-minima measures, on runs of +-0.35 d (+-0.6 d at 30-minute cadence).
    {"automatic, dense-even", 2 * kMinute, false, 0.35, 0.01, 0.5, 0.02, 0.02, 0.001, 0, 0, 0, 0, kAutomatic},
    {"automatic, uneven", 2.5 * kMinute, true, 0.35, 0.01, 0.4, 0.02, 0.02, 0.01, 0, 0, 0, 0, kAutomatic},
    {"automatic, sparse", 10 * kMinute, true, 0.35, 0.01, 0.4, 0.02, 0.02, 0.03, 0, 0, 0, 0, kAutomatic},
    {"automatic, correlated", 2.5 * kMinute, true, 0.35, 0.01, 0.4, 0.02, 0.02, 0.004, 0.006, 0.01, 0, 0, kAutomatic},
    {"automatic, 30-min", 30 * kMinute, false, 0.6, 0.01, 0.1, 0.03, 0.03, 0.001, 0, 0, 0, 0, kAutomatic},
    {"automatic, 20-s", 20.0 / 86400, false, 0.35, 0.01, 0.02, 0.02, 0.02, 0.004, 0, 0, 0, 0, kAutomatic},
    // Observations that carry their errors (the noise varying over the run).
    {"errors, growing 1-6x", 2.5 * kMinute, true, 0.11, 0.01, 0.4, 0.02, 0.02, 0.004, 0, 0, 0, 0, false,
     NoiseShape::growing},
    {"errors, egress 5x", 2.5 * kMinute, true, 0.11, 0.01, 0.4, 0.02, 0.02, 0.004, 0, 0, 0, 0, false,
     NoiseShape::egress},
    {"errors, ends 4x", 2.5 * kMinute, true, 0.11, 0.01, 0.4, 0.02, 0.02, 0.004, 0, 0, 0, 0, false, NoiseShape::ends},
    {"errors, photon, deep", 2 * kMinute, false, 0.118, 0.01, 1.5, 0.02, 0.02, 0.003, 0, 0, 0, 0, false,
     NoiseShape::photon},
};

double dip(const Condition& c, double t, double truth) {
    const double x = (t - truth) / (t < truth ? c.widthBefore : c.widthAfter);
    return c.depth * std::exp(1 - std::cosh(x));
}

struct Simulated {
    std::vector<double> times;
    std::vector<double> magnitudes;
    std::vector<double> errors;  // the noise of each observation; empty for an even noise
    double truth = 0;
    double predicted = 0;
};

// How many times the white noise at t: the shape of its variation.
double noiseFactor(const Condition& c, double t, double truth, double predicted, double first, double last) {
    switch (c.shape) {
        case NoiseShape::even:
            return 1;
        case NoiseShape::growing:
            return 1 + 5 * (t - first) / (last - first);
        case NoiseShape::egress:
            return t > truth ? 5 : 1;
        case NoiseShape::ends:
            return 1 + 3 * std::pow((t - predicted) / c.halfWidth, 2);
        case NoiseShape::photon:
            return std::pow(10.0, 0.2 * dip(c, t, truth));
    }
    return 1;
}

Simulated simulate(const Condition& c, std::mt19937_64& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    Simulated s;
    s.truth = 2459000.3 + 0.4 * unit(random);
    const double predicted = s.truth + c.predictionSpread * (2 * unit(random) - 1);
    s.predicted = predicted;
    double first = predicted - c.halfWidth;
    if (c.shortSideMax > 0) {
        first = std::max(first, s.truth - (c.shortSideMin + (c.shortSideMax - c.shortSideMin) * unit(random)));
    }
    const double last = predicted + c.halfWidth;
    double red = normal(random) * c.redNoise;
    double t = first + c.cadence * unit(random);
    double previous = t;
    while (t <= last) {
        if (c.redNoise > 0) {
            const double kept = std::exp(-(t - previous) / c.redTime);
            red = kept * red + std::sqrt(1 - kept * kept) * c.redNoise * normal(random);
        }
        const double white = c.whiteNoise * noiseFactor(c, t, s.truth, predicted, first, last);
        s.times.push_back(t);
        s.magnitudes.push_back(10.0 + dip(c, t, s.truth) + white * normal(random) + red);
        if (c.shape != NoiseShape::even) {
            s.errors.push_back(white);
        }
        previous = t;
        if (c.uneven) {
            // Intervals of 0.5 to about 2 cadences, and now and then a gap of 4 to 8.
            double interval = c.cadence * (0.5 + std::exponential_distribution<double>(2.0)(random));
            if (unit(random) < 0.04) {
                interval += c.cadence * (4 + 4 * unit(random));
            }
            t += interval;
        } else {
            t += c.cadence;
        }
    }
    return s;
}

struct Column {
    const char* name;
    std::function<double(const ErrorCandidates&)> error;
};

const std::vector<Column> kColumns = {
    {"error", [](const ErrorCandidates& e) { return e.error; }},
    {"classic", [](const ErrorCandidates& e) { return e.classic; }},
    {"deeg-plain", [](const ErrorCandidates& e) { return e.deegPlain; }},
    {"deeg-grid", [](const ErrorCandidates& e) { return e.deegGrid; }},
    {"linear", [](const ErrorCandidates& e) { return e.linear; }},
    {"linear*beta", [](const ErrorCandidates& e) { return e.linear * e.beta; }},
    {"linear*pair-beta", [](const ErrorCandidates& e) { return e.linear * e.pairBeta; }},
    {"prayer-bead", [](const ErrorCandidates& e) { return e.prayerBead; }},
    {"bootstrap", [](const ErrorCandidates& e) { return e.residualBootstrap; }},
    {"bootstrap*infl", [](const ErrorCandidates& e) { return e.residualBootstrap * std::max(e.beta, e.pairBeta); }},
};

std::string joined(const std::vector<std::string>& flags) {
    std::string text;
    for (const std::string& flag : flags) {
        text += (text.empty() ? "" : ";") + flag;
    }
    return text;
}

struct Statistics {
    double sd = NAN;
    double mean = NAN;
    double medianError = NAN;
    double robustSd = NAN;  // 1.4826 times the median absolute z
    double beyondThree = NAN;  // the fraction of |z| > 3
};

Statistics summarise(const std::vector<double>& offsets, const std::vector<double>& errors,
                     const std::vector<bool>& flagged, bool unflaggedOnly) {
    std::vector<double> z;
    std::vector<double> kept;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (errors[i] > 0 && std::isfinite(errors[i]) && !(unflaggedOnly && flagged[i])) {
            z.push_back(offsets[i] / errors[i]);
            kept.push_back(errors[i]);
        }
    }
    Statistics s;
    if (z.size() < 2) {
        return s;
    }
    double sum = 0;
    for (const double v : z) {
        sum += v;
    }
    s.mean = sum / static_cast<double>(z.size());
    double squares = 0;
    for (const double v : z) {
        squares += (v - s.mean) * (v - s.mean);
    }
    s.sd = std::sqrt(squares / static_cast<double>(z.size() - 1));
    std::nth_element(kept.begin(), kept.begin() + static_cast<long>(kept.size() / 2), kept.end());
    s.medianError = kept[kept.size() / 2];
    for (double& v : z) {
        v = std::fabs(v);
    }
    s.beyondThree = static_cast<double>(std::count_if(z.begin(), z.end(), [](double v) { return v > 3; })) /
                    static_cast<double>(z.size());
    std::nth_element(z.begin(), z.begin() + static_cast<long>(z.size() / 2), z.end());
    s.robustSd = 1.4826 * z[z.size() / 2];
    return s;
}

// One simulated eclipse timed as kvw-minima times it: an ephemeris of the
// predicted time alone, the window given or measured from the light curve,
// the checks of the timing room, the method's work kept for the candidates.
struct TimedSimulation {
    kvw::timing::Eclipse eclipse;
    ErrorOptions options;  // as the timing room estimated the error with
};

TimedSimulation timeAsMinima(const Condition& c, const Simulated& s, std::optional<double> noise) {
    namespace timing = kvw::timing;
    timing::Ephemeris ephemeris;
    ephemeris.epoch = s.predicted;
    if (!c.automatic) {
        ephemeris.halfWidth = c.halfWidth;
    }
    const timing::WindowPlan plan = timing::planWindows(s.times, s.magnitudes, ephemeris, std::nullopt);
    const timing::PredictedEclipses predicted = timing::predictEclipses(s.times, ephemeris, plan.sizes);
    const timing::CurveView view{"simulated", "unknown", s.times, s.magnitudes, s.errors, plan.survey.noise};
    std::vector<timing::Eclipse> eclipses = timing::eclipsesIn(view, predicted.windows);
    timing::TimingSettings settings;
    settings.noise = noise;
    settings.keepMethod = true;
    timing::timeAndCheck(eclipses, settings, 1);
    TimedSimulation timed{eclipses.front(), {}};
    const timing::EclipseWindow& window = predicted.windows.front();
    const std::size_t count = window.contextLast - window.contextFirst;
    timed.options.noise = noise;
    timed.options.context = {view.times.subspan(window.contextFirst, count),
                             view.magnitudes.subspan(window.contextFirst, count)};
    if (!s.errors.empty()) {
        timed.options.errors = view.errors.subspan(window.first, window.last - window.first);
        timed.options.contextErrors = view.errors.subspan(window.contextFirst, count);
    }
    return timed;
}

}  // namespace

int main(int argc, char** argv) {
    int perSet = 500;
    std::uint64_t seed = 7;
    const char* only = nullptr;
    bool knownNoise = false;
    bool dump = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool valued = i + 1 < argc;
        if (option == "--eclipses" && valued) {
            perSet = std::atoi(argv[++i]);
        } else if (option == "--seed" && valued) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (option == "--set" && valued) {
            only = argv[++i];
        } else if (option == "--known-noise") {
            knownNoise = true;
        } else if (option == "--dump") {
            dump = true;
        } else {
            std::fprintf(stderr,
                         "usage: kvw_error_calibration [--eclipses N] [--seed S] [--set NAME-PART] [--known-noise] "
                         "[--dump]\n");
            return 2;
        }
    }
    std::printf("%d eclipses per set, seed %llu%s; z = (time - truth) / error over the ok rows, truth = the time of "
                "minimum light;\nsd(z) sure: without the rows flagged edge, few-pairs or negative-vertex\n\n",
                perSet, static_cast<unsigned long long>(seed), knownNoise ? ", noise given" : "");
    std::printf("%-24s %-17s %7s %8s %12s %9s %7s %10s\n", "set", "estimator", "sd(z)", "mean(z)", "median err/s",
                "robust sd", "|z|>3", "sd(z) sure");
    for (const Condition& condition : kConditions) {
        if (only && std::string(condition.name).find(only) == std::string::npos) {
            continue;
        }
        std::mt19937_64 random(seed);
        std::vector<double> offsets;
        std::vector<std::vector<double>> errors(kColumns.size());
        std::size_t observations = 0;
        std::vector<bool> flagged;
        std::map<std::string, int> flagCounts;
        double rho = 0;
        double sumFactor = 0;
        double beta = 0;
        double pairBeta = 0;
        std::map<std::string, int> statusCounts;
        double halfWidths = 0;
        for (int eclipse = 0; eclipse < perSet; ++eclipse) {
            const Simulated s = simulate(condition, random);
            // The scatter a user measures, red part included.
            const std::optional<double> noise =
                knownNoise ? std::optional<double>(std::hypot(condition.whiteNoise, condition.redNoise)) : std::nullopt;
            const TimedSimulation simulation = timeAsMinima(condition, s, noise);
            const kvw::timing::Eclipse& row = simulation.eclipse;
            ++statusCounts[kvw::timing::statusName(row.timed.status)];
            halfWidths += row.predicted->halfWidth;
            if (row.timed.status != kvw::timing::Status::ok) {
                continue;
            }
            const Observations curve{row.times(), row.magnitudes()};
            const ErrorCandidates candidates = weighErrors(curve, *row.timed.method, simulation.options, minimumTimeOf);
            if (row.timed.error != candidates.error) {
                std::fprintf(stderr, "the timing room's error and weighErrors disagree\n");
                return 1;
            }
            offsets.push_back(*row.timed.time - s.truth);
            if (dump) {
                std::printf("dump|%s|%d|%zu|%.9g|%.9g|%.9g|%.9g|%.9g|%.9g|%.4f|%.4f|%s\n", condition.name, eclipse,
                            row.timed.points, offsets.back(), candidates.classic, candidates.deegGrid,
                            candidates.linear, candidates.residualBootstrap, candidates.prayerBead,
                            candidates.beta, candidates.pairBeta, joined(row.timed.flags).c_str());
            }
            observations += row.timed.points;
            // The rows that the method's own flags mark as unsure.
            flagged.push_back(std::any_of(row.timed.flags.begin(), row.timed.flags.end(), [](const std::string& flag) {
                return flag == kEdge || flag == kFewPairs || flag == kNegativeVertex;
            }));
            for (const std::string& flag : row.timed.flags) {
                ++flagCounts[flag];
            }
            rho += candidates.timingFactor;
            sumFactor += candidates.sumFactor;
            beta += candidates.beta;
            pairBeta += candidates.pairBeta;
            for (std::size_t k = 0; k < kColumns.size(); ++k) {
                errors[k].push_back(kColumns[k].error(candidates));
            }
        }
        const double timed = static_cast<double>(offsets.size());
        for (std::size_t k = 0; k < kColumns.size(); ++k) {
            const Statistics st = summarise(offsets, errors[k], flagged, false);
            const Statistics unflagged = summarise(offsets, errors[k], flagged, true);
            std::printf("%-24s %-17s %7.3f %8.3f %12.2f %9.3f %6.1f%% %10.3f\n", k == 0 ? condition.name : "",
                        kColumns[k].name, st.sd, st.mean, st.medianError * 86400, st.robustSd, 100 * st.beyondThree,
                        unflagged.sd);
        }
        std::string counts;
        for (const auto& [flag, count] : flagCounts) {
            counts += " " + flag + " " + std::to_string(count);
        }
        std::string statuses;
        for (const auto& [status, count] : statusCounts) {
            statuses += " " + status + " " + std::to_string(count);
        }
        std::printf("%-24s%s; %.0f observations in a window of +-%.3f d; mean rho %.2f, Q/2P %.2f, beta %.2f, "
                    "pair beta %.2f\n",
                    "", statuses.c_str(), observations / timed, halfWidths / perSet, rho / timed, sumFactor / timed,
                    beta / timed, pairBeta / timed);
        std::printf("%-24s flags of the ok rows:%s\n\n", "", counts.empty() ? " none" : counts.c_str());
        std::fflush(stdout);
    }
    return 0;
}
