#include "plot/synthetic_rows.h"

#include <cmath>
#include <random>

#include "minima/pictures.h"
#include "timing/time_eclipses.h"

namespace kvw::plot::synthetic {

namespace {

// The curve timed as one eclipse of an ephemeris (predicted at `predicted`,
// cycle and type as given) and drawn as kvw-minima draws its rows.
EclipsePicture pictureOfRow(const LightCurve& curve, const std::string& file, double cycle,
                            timing::EclipseType type, double predicted) {
    const double halfWidth = 0.5 * (curve.times.back() - curve.times.front());
    const std::size_t n = curve.times.size();
    const timing::EclipseWindow window{cycle, type, predicted, halfWidth, 5, halfWidth / 4, 0, n, 0, n};
    timing::TimingSettings settings;
    settings.keepMethod = true;
    timing::Eclipse row{{file, "BJD_TDB", curve.times, curve.magnitudes, {}, std::nullopt}, 0, curve.times.size(),
                        window, {}};
    timing::timeAndCheck({&row, 1}, settings, 1);
    return minima::eclipsePicture(row);
}

}  // namespace

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

std::vector<NamedPicture> syntheticEclipses() {
    using timing::EclipseType;
    const std::string file = "V456_Cyg.txt";
    std::vector<NamedPicture> pictures;

    // The bundled example's shape: 320 points over 0.25 d, 0.82 mag deep.
    const LightCurve dense =
        syntheticEclipse({2459000.30, 2459000.55, 2459000.42731, 320, 0.82, 0.028, 0.005, 1956});
    pictures.push_back({"eclipse-clean", pictureOfRow(dense, "ECLIPSE.DAT", 0, EclipseType::primary, 2459000.4262)});

    const LightCurve sparse = syntheticEclipse({2459123.47, 2459123.63, 2459123.5512, 26, 0.45, 0.022, 0.03, 7});
    pictures.push_back(
        {"eclipse-sparse", pictureOfRow(sparse, file, 188.5, EclipseType::secondary, 2459123.5534)});

    // The eclipse ends the series: the smallest sum sits on the edge.
    const LightCurve improper = syntheticEclipse({2459200.30, 2459200.48, 2459200.48, 90, 0.7, 0.03, 0.006, 12});
    pictures.push_back({"eclipse-improper", pictureOfRow(improper, file, 307, EclipseType::primary, 2459200.39)});

    // Only the descending branch was observed: no time is sought.
    const LightCurve partial = syntheticEclipse({2459310.28, 2459310.40, 2459310.44, 60, 0.6, 0.025, 0.006, 5});
    pictures.push_back({"eclipse-partial", pictureOfRow(partial, file, 475, EclipseType::primary, 2459310.4398)});
    return pictures;
}

std::vector<OcPoint> syntheticOcPoints() {
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

}  // namespace kvw::plot::synthetic
