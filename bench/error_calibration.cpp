// Calibration of the errors of the time of minimum on simulated eclipses.
//
// For each condition, a few hundred eclipses with known minima are simulated,
// the observations within a half-width W of a predicted time (off the truth by
// a random amount) are timed with the method, and every error candidate is
// computed. For each candidate the table shows the standard deviation and the
// mean of (time - truth) / error and the median error: a calibrated error has
// a standard deviation near 1.
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
#include <random>
#include <string>
#include <vector>

#include "analysis/eclipse_timing.h"
#include "uncertainty/minimum_error.h"

namespace {

using namespace kvw::uncertainty;

constexpr double kMinute = 1.0 / 1440;

// The eclipse: 10 mag out of eclipse, a dip of depth D with the profile
// exp(1 - cosh(x)), x = (t - t0) / w, its width w before the minimum and w'
// after it. The dip is largest at x = 0 on both sides and its slope is
// continuous there, so t0 is the time of minimum light even when w' != w.
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
};

const std::vector<Condition> kConditions = {
    {"dense-even (TESS-like)", 2 * kMinute, false, 0.118, 0.01, 0.5, 0.02, 0.02, 0.001, 0, 0, 0, 0},
    {"uneven, moderate noise", 2.5 * kMinute, true, 0.11, 0.01, 0.4, 0.02, 0.02, 0.01, 0, 0, 0, 0},
    {"sparse and noisy", 10 * kMinute, true, 0.12, 0.01, 0.4, 0.02, 0.02, 0.03, 0, 0, 0, 0},
    {"correlated noise", 2.5 * kMinute, true, 0.11, 0.01, 0.4, 0.02, 0.02, 0.004, 0.006, 0.01, 0, 0},
    {"one side covered more", 2 * kMinute, false, 0.118, 0.01, 0.5, 0.02, 0.02, 0.005, 0, 0, 0.05, 0.07},
    {"asymmetric eclipse", 2 * kMinute, false, 0.118, 0.01, 0.5, 0.02, 0.022, 0.005, 0, 0, 0, 0},
};

double dip(const Condition& c, double t, double truth) {
    const double x = (t - truth) / (t < truth ? c.widthBefore : c.widthAfter);
    return c.depth * std::exp(1 - std::cosh(x));
}

struct Simulated {
    std::vector<double> times;
    std::vector<double> magnitudes;
    double truth = 0;
};

Simulated simulate(const Condition& c, std::mt19937_64& random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    Simulated s;
    s.truth = 2459000.3 + 0.4 * unit(random);
    const double predicted = s.truth + c.predictionSpread * (2 * unit(random) - 1);
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
        s.times.push_back(t);
        s.magnitudes.push_back(10.0 + dip(c, t, s.truth) + c.whiteNoise * normal(random) + red);
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
    std::printf("%d eclipses per set, seed %llu%s; z = (time - truth) / error, truth = the time of minimum light;\n"
                "sd(z) sure: without the rows flagged edge, few-pairs or negative-vertex\n\n",
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
        std::size_t improper = 0;
        std::size_t observations = 0;
        std::vector<bool> flagged;
        std::map<std::string, int> flagCounts;
        double rho = 0;
        double sumFactor = 0;
        double beta = 0;
        double pairBeta = 0;
        for (int eclipse = 0; eclipse < perSet; ++eclipse) {
            const Simulated s = simulate(condition, random);
            const Observations curve{s.times, s.magnitudes};
            const kvw::analysis::EclipseTiming result = kvw::analysis::timeEclipse(s.times, s.magnitudes);
            if (!result.timed()) {
                ++improper;
                continue;
            }
            ErrorOptions options;
            options.seed = seed + static_cast<std::uint64_t>(eclipse);
            if (knownNoise) {
                // The scatter a user measures, red part included.
                options.noise = std::hypot(condition.whiteNoise, condition.redNoise);
            }
            const ErrorCandidates candidates = weighErrors(curve, result, options, minimumTimeOf);
            const ErrorEstimate chosen = estimateError(curve, result, options, minimumTimeOf);
            if (chosen.error != candidates.error) {
                std::fprintf(stderr, "estimateError and weighErrors disagree\n");
                return 1;
            }
            offsets.push_back(result.fit.minimumTime - s.truth);
            if (dump) {
                std::printf("dump|%s|%d|%zu|%.9g|%.9g|%.9g|%.9g|%.9g|%.9g|%.4f|%.4f|%s\n", condition.name, eclipse,
                            s.times.size(), offsets.back(), candidates.classic, candidates.deegGrid,
                            candidates.linear, candidates.residualBootstrap, candidates.prayerBead,
                            candidates.beta, candidates.pairBeta, joined(chosen.flags).c_str());
            }
            observations += s.times.size();
            // The rows that the method's own flags mark as unsure.
            flagged.push_back(std::any_of(chosen.flags.begin(), chosen.flags.end(), [](const std::string& flag) {
                return flag == kEdge || flag == kFewPairs || flag == kNegativeVertex;
            }));
            for (const std::string& flag : chosen.flags) {
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
        std::printf("%-24s %zu timed, %zu improper, %.0f observations; mean rho %.2f, Q/2P %.2f, beta %.2f, pair beta %.2f\n",
                    "", offsets.size(), improper, observations / timed, rho / timed, sumFactor / timed, beta / timed,
                    pairBeta / timed);
        std::printf("%-24s flags:%s\n\n", "", counts.empty() ? " none" : counts.c_str());
        std::fflush(stdout);
    }
    return 0;
}
