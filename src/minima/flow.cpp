#include "minima/flow.h"

#include <algorithm>
#include <cstdio>

#include "minima/modules.h"
#include "minima/time_scales.h"
#include "timing/eclipse_extent.h"
#include "timing/ephemeris.h"

namespace kvw::minima {

namespace {

std::string daysText(double days) {
    char text[48];
    std::snprintf(text, sizeof text, "%.4f d", days);
    return text;
}

// The windows of one eclipse type, and how they were chosen.
std::string windowsNote(const char* type, double halfWidth, std::size_t minimumPoints,
                        const timing::EclipseExtent& extent, const timing::Ephemeris& ephemeris) {
    std::string text =
        std::string(type) + " eclipses timed within " + daysText(halfWidth) + " of their predicted times";
    if (!ephemeris.halfWidth) {
        text += !extent.found  ? " (no eclipse stands out of the folded light curve there)"
                : extent.reach ? " (the folded light regains its level " + daysText(*extent.reach) + " from them)"
                               : " (the folded light does not regain its level within the observations)";
    }
    return text + ", at least " + std::to_string(minimumPoints) + " observations on each side";
}

// The eclipses of the ephemeris in a curve, on windows planned from the curve
// (which also measures its noise), with notes on how.
LaidOut eclipsesOfEphemeris(timing::CurveView curve, const Options& options) {
    LaidOut laidOut;
    const timing::Ephemeris& ephemeris = *options.ephemeris;
    // The ephemeris itself first (a mistyped time, a period in another unit), on the widest windows it allows.
    const double widest = ephemeris.halfWidth.value_or(timing::halfWidthLimit(ephemeris, timing::EclipseType::primary));
    for (const auto& problem :
         {timing::ephemerisProblem(curve.times, ephemeris, widest), timing::timeScaleProblem(curve.times, ephemeris)}) {
        if (problem) {
            laidOut.refusal = problem;
            return laidOut;
        }
    }
    const timing::WindowPlan plan =
        timing::planWindows(curve.times, curve.magnitudes, ephemeris, options.minimumPoints);
    const timing::WindowSizes& sizes = plan.sizes;
    laidOut.refusal =
        timing::ephemerisProblem(curve.times, ephemeris, std::min(sizes.primaryHalfWidth, sizes.secondaryHalfWidth));
    if (laidOut.refusal) {
        return laidOut;
    }
    std::vector<std::string>& notes = laidOut.notes;
    if (plan.survey.primary.dips || plan.survey.secondary.dips) {
        notes.emplace_back("the light falls at the predicted eclipses instead of rising: the values look like fluxes; "
                           "name their column with --flux-column");
    }
    if (plan.cut) {
        notes.emplace_back("the half-width reaches past half the way to the next eclipse: cut to it");
    }
    notes.push_back(
        windowsNote("primary", sizes.primaryHalfWidth, sizes.primaryMinimumPoints, plan.survey.primary, ephemeris));
    if (ephemeris.secondaryPhase) {
        notes.push_back(windowsNote("secondary", sizes.secondaryHalfWidth, sizes.secondaryMinimumPoints,
                                    plan.survey.secondary, ephemeris));
    }
    curve.noise = plan.survey.noise;
    const timing::PredictedEclipses predicted = timing::predictEclipses(curve.times, ephemeris, sizes);
    if (predicted.windows.empty()) {
        notes.emplace_back("no eclipse of the ephemeris falls within the observations");
    } else if (predicted.skipped > 0) {
        notes.push_back(std::to_string(predicted.skipped) +
                        " predicted eclipse(s) without observations in their windows left out");
    }
    laidOut.eclipses = timing::eclipsesIn(curve, predicted.windows);
    return laidOut;
}

}  // namespace

readers::LightCurve readInputFile(const std::string& name, const Options& options) {
    return readers::readLightCurve(name, options.columns, readFitsFromModule);
}

LaidOut layOutCurve(readers::LightCurve& curve, const Options& options) {
    // The offset first: the scale's conversion needs whole dates.
    for (double& time : curve.times) {
        time += options.timeOffset;
    }
    std::vector<std::string> notes = putInRowScale(curve, options.timeScales, options.jobs);
    const timing::CurveView view{curve.source, timescale::scaleName(curve.timeScale), curve.times,
                                 curve.magnitudes, curve.errors, std::nullopt};
    LaidOut laidOut = layOutEclipses(view, options);
    notes.insert(notes.end(), laidOut.notes.begin(), laidOut.notes.end());
    laidOut.notes = std::move(notes);
    return laidOut;
}

std::optional<timescale::TimeScale> scaleKeptInMemory(const Options& options) {
    using timescale::TimeScale;
    const TimeScaleOptions& scales = options.timeScales;
    const TimeScale declared = scales.declared.value_or(TimeScale::unknown);
    // putInRowScale converts where the row scale differs, and notes a known scale other than BJD_TDB left as is.
    const bool kept = options.timeOffset == 0 && (declared == TimeScale::unknown || declared == TimeScale::bjdTdb) &&
                      rowScale(declared, scales.position.has_value(), scales.out) == declared;
    return kept ? std::optional(declared) : std::nullopt;
}

LaidOut layOutEclipses(const timing::CurveView& curve, const Options& options) {
    if (options.ephemeris) {
        return eclipsesOfEphemeris(curve, options);
    }
    LaidOut laidOut;
    laidOut.eclipses.push_back(timing::wholeCurve(curve));
    return laidOut;
}

timing::TimingSettings timingSettings(const Options& options, bool keepMethod) {
    timing::TimingSettings settings;
    settings.noise = options.noise;
    settings.keepMethod = keepMethod;
    return settings;
}

}  // namespace kvw::minima
