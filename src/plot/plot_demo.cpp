// Draws the example pictures: four eclipses (clean, sparse, improper,
// partial) and an O−C diagram, from synthetic light curves timed by the
// method.
//
//   plot_demo DIR [svg|pdf|png] [OBSERVATIONS]
//
// OBSERVATIONS, a file of "time magnitude" lines, replaces the synthetic
// clean eclipse (e.g. examples/ECLIPSE.DAT). The files written are listed on
// standard output.
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "plot/demo_cases.h"
#include "plot/plot.h"

namespace {

kvw::plot::demo::LightCurve readObservations(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    kvw::plot::demo::LightCurve curve;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        double time = 0;
        double magnitude = 0;
        if (fields >> time >> magnitude) {
            curve.times.push_back(time);
            curve.magnitudes.push_back(magnitude);
        }
    }
    return curve;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::cerr << "usage: plot_demo DIR [svg|pdf|png] [OBSERVATIONS]\n";
        return 2;
    }
    try {
        const std::filesystem::path directory = argv[1];
        const std::string extension = argc > 2 ? argv[2] : "svg";
        std::filesystem::create_directories(directory);
        kvw::plot::demo::LightCurve clean;
        if (argc > 3) {
            clean = readObservations(argv[3]);
        }
        for (const auto& [name, picture] : kvw::plot::demo::demoEclipses(argc > 3 ? &clean : nullptr)) {
            const std::string path = (directory / (name + "." + extension)).string();
            kvw::plot::drawEclipse(picture, path);
            std::cout << path << '\n';
        }
        const std::string path = (directory / ("o-c." + extension)).string();
        kvw::plot::drawOcDiagram(kvw::plot::demo::demoOcPoints(),
                                 "synthetic system   O − C against 2459000.42731 + 0.6523189 E",
                                 "3 partial and 1 suspect rows left out", path);
        std::cout << path << '\n';
    } catch (const std::exception& failure) {
        std::cerr << "plot_demo: " << failure.what() << '\n';
        return 1;
    }
    return 0;
}
