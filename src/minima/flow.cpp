#include "minima/flow.h"

#include "minima/modules.h"
#include "timing/ephemeris.h"

namespace kvw::minima {

readers::LightCurve readInputFile(const std::string& name, const Options& options) {
    return readers::readLightCurve(name, options.columns, readFitsFromModule);
}

LaidOut layOutEclipses(const timing::CurveView& curve, const Options& options) {
    LaidOut laidOut;
    if (options.ephemeris) {
        laidOut.refusal = timing::ephemerisProblem(curve.times, *options.ephemeris);
        if (laidOut.refusal) {
            return laidOut;
        }
    }
    laidOut.eclipses = timing::eclipsesOf(curve, options.ephemeris);
    return laidOut;
}

timing::TimingSettings timingSettings(const Options& options, bool keepMethod) {
    timing::TimingSettings settings;
    settings.ephemeris = options.ephemeris;
    settings.minimumPoints = options.minimumPoints;
    settings.noise = options.noise;
    settings.keepMethod = keepMethod;
    return settings;
}

}  // namespace kvw::minima
