// Example pictures from synthetic light curves, timed by the method itself:
// for the demo program and the tests of the plot library.
#pragma once

#include <string>
#include <vector>

#include "plot/plot.h"

namespace kvw::plot::demo {

struct LightCurve {
    std::vector<double> times, magnitudes;
};

// A Gaussian dip of the given depth and width (sigma, days) below a constant
// magnitude, observed at an uneven cadence from start to end with Gaussian
// noise; the same seed gives the same curve.
struct EclipseShape {
    double start, end, minimum;
    int count;
    double depth, sigma, noise;
    unsigned seed;
};
LightCurve syntheticEclipse(const EclipseShape& shape);

// Times the curve (branch, resampling, symmetry sums, parabola) and fills a
// picture with the observations, the branch, the sums of the search range and
// the fit, or the improper minimum.
EclipsePicture pictureOfMethod(const LightCurve& curve, const std::string& title);

struct NamedPicture {
    std::string name;  // a file name without extension
    EclipsePicture picture;
};

// A clean dense eclipse (the bundled example's shape, or the given curve),
// a sparse noisy one, an improper one and a partial one.
std::vector<NamedPicture> demoEclipses(const LightCurve* clean = nullptr);

// About thirty primaries and secondaries around a slowly drifting O−C, one
// with a huge error bar.
std::vector<OcPoint> demoOcPoints();

}  // namespace kvw::plot::demo
