// Rows for the tests of the plot library: synthetic light curves timed by the
// method and turned into pictures as kvw-minima --plot turns its rows.
#pragma once

#include <string>
#include <vector>

#include "plot/plot.h"

namespace kvw::plot::synthetic {

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

struct NamedPicture {
    std::string name;  // a file name without extension
    EclipsePicture picture;
};

// A clean dense eclipse (the bundled example's shape), a sparse noisy one,
// an improper one and a partial one.
std::vector<NamedPicture> syntheticEclipses();

// About thirty primaries and secondaries around a slowly drifting O−C, one
// with a huge error bar.
std::vector<OcPoint> syntheticOcPoints();

}  // namespace kvw::plot::synthetic
