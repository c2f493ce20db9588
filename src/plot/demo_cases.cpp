#include "plot/demo_cases.h"

#include <cmath>
#include <cstdio>
#include <random>

#include "analysis/eclipse_timing.h"

namespace kvw::plot::demo {

LightCurve syntheticEclipse(const EclipseShape& shape) {
    std::mt19937 random(shape.seed);
    std::uniform_real_distribution<double> cadence(0.6, 1.4);
    std::normal_distribution<double> noise(0, shape.noise);
    constexpr double kBaseMagnitude = 10.5;
    const double step = (shape.end - shape.start) / shape.count;
    LightCurve curve;
    double t = shape.start;
    for (int k = 0; k < shape.count; ++k) {
        t += step * cadence(random);
        const double x = (t - shape.minimum) / shape.sigma;
        curve.times.push_back(t);
        curve.magnitudes.push_back(kBaseMagnitude + shape.depth * std::exp(-0.5 * x * x) + noise(random));
    }
    return curve;
}

EclipsePicture pictureOfMethod(const LightCurve& curve, const std::string& title) {
    analysis::WorkingStorage storage;
    analysis::reserveWorkingStorage(storage, curve.times.size());
    const analysis::EclipseTiming timing = analysis::timeEclipse(curve.times, curve.magnitudes, storage);
    const analysis::ResampledCurve& branch = timing.curve;
    const analysis::SymmetryScan& scan = timing.scan;
    const analysis::MinimumFit& fit = timing.fit;

    const double dayOffset = branch.dayOffset;
    EclipsePicture picture;
    picture.title = title;
    picture.times = curve.times;
    picture.magnitudes = curve.magnitudes;
    for (std::size_t j = 0; j < branch.gridTimes.size(); ++j) {
        picture.gridTimes.push_back(branch.gridTimes[j] + dayOffset);
        picture.gridMagnitudes.push_back(branch.gridMagnitudes[j]);
    }
    // The search range: trials K to 3K, counted from 1.
    for (std::int32_t trial = branch.halfCount; trial <= 3 * branch.halfCount; ++trial) {
        const auto i = static_cast<std::size_t>(trial - 1);
        picture.trialTimes.push_back(scan.trialTimes[i] + dayOffset);
        picture.sums.push_back(scan.sums[i]);
    }
    if (fit.improper) {
        picture.result = "improper minimum: the smallest sum lies on the edge of the search range";
        return picture;
    }
    picture.hasFit = true;
    picture.fitOrigin = dayOffset;
    picture.a = fit.a;
    picture.b = fit.b;
    picture.c = fit.c;
    for (std::size_t r = 0; r < 3; ++r) {
        const auto i = static_cast<std::size_t>(fit.smallestTrial - 2) + r;
        picture.fitTimes[r] = scan.trialTimes[i] + dayOffset;
        picture.fitSums[r] = scan.sums[i];
    }
    picture.minimumTime = fit.minimumTime;
    picture.error = fit.error;
    char result[96];
    std::snprintf(result, sizeof result, "%.6f ± %.6f d   ok", fit.minimumTime, fit.error);
    picture.result = result;
    return picture;
}

std::vector<NamedPicture> demoEclipses(const LightCurve* clean) {
    std::vector<NamedPicture> pictures;

    // The bundled example's shape: 320 points over 0.25 d, 0.82 mag deep.
    const LightCurve dense =
        clean != nullptr ? *clean
                         : syntheticEclipse({2459000.30, 2459000.55, 2459000.42731, 320, 0.82, 0.028, 0.005, 1956});
    NamedPicture cleanPicture{"eclipse-clean", pictureOfMethod(dense, "ECLIPSE.DAT   E = 0 primary")};
    cleanPicture.picture.predictedTime = 2459000.4262;
    pictures.push_back(cleanPicture);

    const LightCurve sparse =
        syntheticEclipse({2459123.47, 2459123.63, 2459123.5512, 26, 0.45, 0.022, 0.03, 7});
    NamedPicture sparsePicture{"eclipse-sparse", pictureOfMethod(sparse, "V456_Cyg.txt   E = 188.5 secondary")};
    sparsePicture.picture.predictedTime = 2459123.5534;
    sparsePicture.picture.timeScale = "BJD";
    pictures.push_back(sparsePicture);

    // The eclipse ends the series: the smallest sum sits on the edge.
    const LightCurve improper =
        syntheticEclipse({2459200.30, 2459200.48, 2459200.48, 90, 0.7, 0.03, 0.006, 12});
    pictures.push_back({"eclipse-improper", pictureOfMethod(improper, "V456_Cyg.txt   E = 307 primary")});
    pictures.back().picture.timeScale = "BJD";

    // Only the descending branch was observed: no time is sought.
    const LightCurve partial =
        syntheticEclipse({2459310.28, 2459310.40, 2459310.44, 60, 0.6, 0.025, 0.006, 5});
    NamedPicture partialPicture;
    partialPicture.name = "eclipse-partial";
    partialPicture.picture.title = "V456_Cyg.txt   E = 475 primary";
    partialPicture.picture.result = "partial: no observations after the minimum";
    partialPicture.picture.timeScale = "BJD";
    partialPicture.picture.times = partial.times;
    partialPicture.picture.magnitudes = partial.magnitudes;
    partialPicture.picture.predictedTime = 2459310.4398;
    pictures.push_back(partialPicture);
    return pictures;
}

std::vector<OcPoint> demoOcPoints() {
    std::mt19937 random(1956);
    std::uniform_int_distribution<int> gap(5, 25);
    std::uniform_real_distribution<double> errorDays(0.00015, 0.0009);
    std::normal_distribution<double> scatter(0, 1);
    std::vector<OcPoint> points;
    int cycle = 0;
    for (int k = 0; k < 30; ++k) {
        cycle += gap(random);
        OcPoint point;
        point.secondary = k % 4 == 3;
        point.cycle = cycle + (point.secondary ? 0.5 : 0.0);
        point.errorDays = errorDays(random);
        // A slow period change and a small shift of the secondaries.
        const double trend = 0.0008 - 1.2e-8 * (point.cycle - 200) * (point.cycle - 200);
        point.ocDays = trend + (point.secondary ? 0.0006 : 0.0) + point.errorDays * scatter(random);
        points.push_back(point);
    }
    points[17].errorDays = 0.02;  // a poorly covered eclipse
    return points;
}

}  // namespace kvw::plot::demo
