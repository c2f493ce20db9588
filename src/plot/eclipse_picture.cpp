// The picture of one eclipse: observations above, symmetry sums below, on one
// time axis counted in days from the whole day at or before the earliest time
// shown.
#include <plplot/plplot.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "base/precondition.h"
#include "base/units.h"
#include "detail/drawing.h"
#include "detail/plplot_page.h"
#include "plot/plot.h"

namespace kvw::plot {

using namespace detail;

namespace {

constexpr int kPageWidth = 1000;
constexpr int kPageHeight = 800;

// Viewports in page fractions. The gap keeps the tick labels of the two
// panels apart; the top margin holds the title, the result and the legend.
constexpr double kLeft = 0.12;
constexpr double kRight = 0.96;
constexpr double kUpperBottom = 0.525;
constexpr double kUpperTop = 0.78;
constexpr double kLowerBottom = 0.09;
constexpr double kLowerTop = 0.505;
// The sums fill the lower part of their panel; the zoom on the fit takes the
// band above them.
constexpr double kSumsShare = 0.55;
constexpr double kTextScale = 0.85;
// Characters of a heading line that fit the page at that scale (about 95
// of the average width), and the lines the top margin holds.
constexpr std::size_t kHeadingWidth = 86;
constexpr std::size_t kHeadingLines = 4;

const char* const kDot = "•";
const char* const kDisc = "●";
const char* const kDiamond = "◆";

struct TimeAxis {
    double origin = 0;  // subtracted from every absolute time
    Range days;         // the axis, relative to origin
    std::string label;
};

std::string formatted(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

// The axis covers the data the method used, and the time of minimum and the
// predicted time when they lie near it: a wild one must not squeeze the
// curve (it is named in a note instead).
TimeAxis timeAxisOf(const EclipsePicture& picture) {
    Range data = noRange();
    include(data, picture.times);
    include(data, picture.gridTimes);
    include(data, picture.trialTimes);
    Range shown = data;
    for (const double time : {picture.minimumTime, picture.predictedTime}) {
        if (data.empty() || (time > data.low - 0.5 * data.span() && time < data.high + 0.5 * data.span())) {
            include(shown, time);
        }
    }
    TimeAxis axis;
    axis.origin = shown.empty() ? 0 : std::floor(shown.low);
    const Range relative = shown.empty() ? shown : Range{shown.low - axis.origin, shown.high - axis.origin};
    axis.days = padded(relative, 0.03, 0.01, {0, 1});
    axis.label = axis.origin == 0 ? picture.timeScale
                                  : picture.timeScale + " − " + formatted("%.0f", axis.origin);
    axis.label += "  (days)";
    return axis;
}

bool onAxis(double time, const TimeAxis& axis) {
    const double x = time - axis.origin;
    return std::isfinite(x) && x >= axis.days.low && x <= axis.days.high;
}

double parabola(const EclipsePicture& p, double time) {
    const double u = time - p.fitOrigin;
    return (p.a * u + p.b) * u + p.c;
}

// The vertex: the reported time of minimum, or the parabola's own when
// none is given.
double vertexTime(const EclipsePicture& p) {
    return std::isfinite(p.minimumTime) ? p.minimumTime : p.fitOrigin - 0.5 * p.b / p.a;
}

// The time of minimum with its band, and the predicted time, across a panel.
void drawTimeMarks(const EclipsePicture& p, const TimeAxis& axis, const Range& y) {
    if (std::isfinite(p.minimumTime)) {
        const double x = p.minimumTime - axis.origin;
        if (std::isfinite(p.error) && p.error > 0) {
            shadeBetween(std::max(x - p.error, axis.days.low), std::min(x + p.error, axis.days.high), y, kBand);
        }
        if (onAxis(p.minimumTime, axis)) {
            drawVerticalLine(x, y, kRed, 1.4);
        }
    }
    if (onAxis(p.predictedTime, axis)) {
        drawVerticalLine(p.predictedTime - axis.origin, y, kGreen, 1.4, 2);
    }
}

// The parabola across [low, high] (axis days), up to the ceiling: pieces of
// consecutive samples below it.
void drawParabola(const EclipsePicture& p, const TimeAxis& axis, double low, double high, double ceiling) {
    constexpr int kSamples = 240;
    Points piece;
    for (int i = 0; i <= kSamples; ++i) {
        const double x = low + (high - low) * i / kSamples;
        const double s = parabola(p, x + axis.origin);
        if (std::isfinite(s) && s <= ceiling) {
            piece.x.push_back(x);
            piece.y.push_back(s);
        } else {
            drawLine(piece, kRed, 1.3);
            piece = {};
        }
    }
    drawLine(piece, kRed, 1.3);
}

std::vector<LegendEntry> observationLegend(const EclipsePicture& p) {
    std::vector<LegendEntry> entries;
    entries.push_back({"observations", kInk, kDot, 0, false});
    if (!p.gridTimes.empty()) {
        entries.push_back({"resampled branch", kBlue, nullptr, 1, false});
    }
    if (std::isfinite(p.minimumTime)) {
        entries.push_back({"time of minimum ± error", kRed, nullptr, 1, false});
    }
    if (std::isfinite(p.predictedTime)) {
        entries.push_back({"predicted", kGreen, nullptr, 2, false});
    }
    return entries;
}

void drawObservationPanel(const EclipsePicture& p, const TimeAxis& axis) {
    Range magnitudes = noRange();
    include(magnitudes, p.magnitudes);
    include(magnitudes, p.gridMagnitudes);
    const Range y = padded(magnitudes, 0.08, 0.05, {0, 1});

    plvpor(kLeft, kRight, kUpperBottom, kUpperTop);
    plwind(axis.days.low, axis.days.high, y.high, y.low);  // fainter downwards
    drawTimeMarks(p, axis, y);
    drawMarks(finitePoints(p.times, p.magnitudes, axis.origin), kDot, kInk, 0.65);
    drawLine(finitePoints(p.gridTimes, p.gridMagnitudes, axis.origin), kBlue, 1.2);

    plcol0(kInk);
    plwidth(1);
    if (magnitudes.empty()) {
        plbox("bcst", 0, 0, "bc", 0, 0);
        plmtex("t", -4.0, 0.5, 0.5, "no observations in this window");
    } else {
        plbox("bcst", 0, 0, "bcnstvf", 0, 0);
        plmtex("l", 5.8, 0.5, 0.5, "magnitude");
    }
    // The heading: the title and the result (a reason can be long), in at
    // most four lines that fit the page's width.
    std::vector<std::string> heading = wrappedText(p.title, kHeadingWidth);
    for (std::string& line : wrappedText(p.result, kHeadingWidth)) {
        heading.push_back(std::move(line));
    }
    if (heading.size() > kHeadingLines) {
        heading.resize(kHeadingLines);
        heading.back() += " …";
    }
    for (std::size_t i = 0; i < heading.size(); ++i) {
        plmtex("t", 5.4 + 1.4 * static_cast<double>(heading.size() - 1 - i), 0.5, 0.5, plotText(heading[i]).c_str());
    }

    plcol0(kInk);
    drawLegend(observationLegend(p), LegendPlace::above, 2, 0, 0.01);
}

struct Box {
    double left, right, bottom, top;
};

// The zoom sits in the band above the sums, centred over the vertex as far
// as the panel allows.
Box zoomPlace(double vertexX, const TimeAxis& axis) {
    const double width = 0.36 * (kRight - kLeft);
    const double bottom = kLowerBottom + (kSumsShare + 0.03) * (kLowerTop - kLowerBottom);
    const double centre = kLeft + (kRight - kLeft) * (vertexX - axis.days.low) / axis.days.span();
    const double left = std::clamp(centre - 0.5 * width, kLeft + 0.01, kRight - 0.01 - width);
    return {left, left + width, bottom, kLowerTop - 0.01};
}

// The largest step of 1, 2 or 5 times a power of ten that still puts two or
// three labels on the span, so that a small axis has neither one label nor a
// crowd; 0 (PLplot's own choice) for a span that has none.
double tickStep(double span) {
    if (!(span > 0) || !std::isfinite(span)) {
        return 0;
    }
    const double most = span / 2.5;
    const double power = std::pow(10.0, std::floor(std::log10(most)));
    for (const double factor : {5.0, 2.0, 1.0}) {
        if (factor * power <= most) {
            return factor * power;
        }
    }
    return power;
}

// A fit that can be looked at closely: its points apart and its vertex at a
// finite time (a flat parabola has none).
bool zoomable(const EclipsePicture& p) {
    return p.hasFit && p.fitTimes[2] > p.fitTimes[0] && std::isfinite(vertexTime(p));
}

// A close look at the fit: the sums near the smallest, the three points,
// the parabola and its vertex, against minutes from the time of minimum.
void drawFitZoom(const EclipsePicture& p, const Box& place) {
    const double step = 0.5 * (p.fitTimes[2] - p.fitTimes[0]);
    const double centre = vertexTime(p);
    const double halfWidth = 4.5 * step;
    const double from = p.fitTimes[1] - halfWidth;
    const double to = p.fitTimes[1] + halfWidth;

    Points sums;  // minutes from the minimum, sums
    Range ys = noRange();
    for (std::size_t i = 0; i < std::min(p.trialTimes.size(), p.sums.size()); ++i) {
        if (p.trialTimes[i] >= from && p.trialTimes[i] <= to && std::isfinite(p.sums[i])) {
            sums.x.push_back((p.trialTimes[i] - centre) * kMinutesPerDay);
            sums.y.push_back(p.sums[i]);
            include(ys, p.sums[i]);
        }
    }
    include(ys, std::vector<double>(p.fitSums.begin(), p.fitSums.end()));
    include(ys, parabola(p, centre));
    const Range y = padded(ys, 0.12, 0.5 * std::abs(ys.low) + 1e-12, {0, 1});
    const Range x{(from - centre) * kMinutesPerDay, (to - centre) * kMinutesPerDay};

    // The outer box, with room for the zoom's own tick labels, hides what is
    // behind it.
    plvpor(place.left, place.right, place.bottom, place.top);
    plwind(0, 1, 0, 1);
    shadeBetween(0, 1, {0, 1}, kBackground);
    plcol0(kGrey);
    plbox("bc", 0, 0, "bc", 0, 0);

    plschr(0, 0.75 * kTextScale);
    plvpor(place.left + 0.07, place.right - 0.012, place.bottom + 0.04, place.top - 0.03);
    plwind(x.low, x.high, y.low, y.high);
    if (std::isfinite(p.error) && p.error > 0) {
        shadeBetween(std::max(-p.error * kMinutesPerDay, x.low), std::min(p.error * kMinutesPerDay, x.high), y, kBand);
    }
    drawVerticalLine(0, y, kRed, 1.2);
    Points curve;
    constexpr int kSamples = 120;
    for (int i = 0; i <= kSamples; ++i) {
        const double t = from + (to - from) * i / kSamples;
        curve.x.push_back((t - centre) * kMinutesPerDay);
        curve.y.push_back(parabola(p, t));
    }
    drawLine(curve, kRed, 1.3);
    drawLine(sums, kGrey, 0.8);
    drawMarks(sums, kDot, kGrey, 0.9);
    Points fit;
    for (std::size_t i = 0; i < 3; ++i) {
        fit.x.push_back((p.fitTimes[i] - centre) * kMinutesPerDay);
        fit.y.push_back(p.fitSums[i]);
    }
    drawMarks(fit, kDisc, kRed, 0.75);
    drawMarks({{0.0}, {parabola(p, centre)}}, kDiamond, kInk, 0.75);
    plcol0(kInk);
    plbox("bcnstf", 0, 0, "bcnstvf", tickStep(y.span()), 0);
    plmtex("t", 0.7, 0.5, 0.5, "minutes from the minimum");
    plschr(0, kTextScale);
}

std::string superscript(int number) {
    static const std::array<const char*, 10> kDigits{"⁰", "¹", "²", "³", "⁴", "⁵", "⁶", "⁷", "⁸", "⁹"};
    std::string text = number < 0 ? "⁻" : "";
    for (const char digit : std::to_string(std::abs(number))) {
        text += kDigits[static_cast<std::size_t>(digit - '0')];
    }
    return text;
}

// Times that would have squeezed the curve are named instead, low in the
// sums panel where the search range leaves room.
void noteTimesOffAxis(const EclipsePicture& p, const TimeAxis& axis) {
    std::string note;
    if (std::isfinite(p.minimumTime) && !onAxis(p.minimumTime, axis)) {
        note += "minimum " + formatted("%.5f", p.minimumTime) + " off the axis   ";
    }
    if (std::isfinite(p.predictedTime) && !onAxis(p.predictedTime, axis)) {
        note += "predicted " + formatted("%.5f", p.predictedTime) + " off the axis";
    }
    if (!note.empty()) {
        plcol0(kRed);
        plmtex("b", -1.2, 0.01, 0.0, plotText(note).c_str());
        plcol0(kInk);
    }
}

// Sums far from 1 are shown in a power of ten of mag², so that the tick
// labels stay short: the picture with its sums and parabola in that unit.
EclipsePicture inSumUnit(const EclipsePicture& p, int& exponent) {
    Range values = noRange();
    include(values, p.sums);
    const double largest = std::max(std::abs(values.low), std::abs(values.high));
    exponent = 0;
    if (values.empty() || !(largest > 0) || (largest >= 0.01 && largest < 1000)) {
        return p;
    }
    exponent = static_cast<int>(std::floor(std::log10(largest)));
    const double unit = std::pow(10.0, exponent);
    EclipsePicture scaled = p;
    for (double& sum : scaled.sums) {
        sum /= unit;
    }
    for (double& sum : scaled.fitSums) {
        sum /= unit;
    }
    scaled.a /= unit;
    scaled.b /= unit;
    scaled.c /= unit;
    return scaled;
}

void drawSumPanel(const EclipsePicture& picture, const TimeAxis& axis) {
    int exponent = 0;
    const EclipsePicture p = inSumUnit(picture, exponent);
    const Points sums = finitePoints(p.trialTimes, p.sums, axis.origin);
    Range values = noRange();
    include(values, sums.y);
    include(values, 0.0);
    const bool zoom = zoomable(p) && !sums.x.empty();
    if (zoom && p.a > 0) {
        include(values, parabola(p, vertexTime(p)));  // at most the smallest sum: it may dip below zero
    }
    Range y = padded(values, 0.06, 1, {0, 1});
    if (zoom) {
        y.high = y.low + (y.high - y.low) / kSumsShare;
    }

    plvpor(kLeft, kRight, kLowerBottom, kLowerTop);
    plwind(axis.days.low, axis.days.high, y.low, y.high);
    drawTimeMarks(p, axis, y);
    drawLine(sums, kGrey, 0.8);
    drawMarks(sums, kDot, kGrey, 0.65);
    if (p.hasFit && !sums.x.empty()) {
        drawParabola(p, axis, sums.x.front(), sums.x.back(), y.low + (zoom ? kSumsShare : 1) * y.span());
        drawMarks(finitePoints(std::vector<double>(p.fitTimes.begin(), p.fitTimes.end()),
                               std::vector<double>(p.fitSums.begin(), p.fitSums.end()), axis.origin),
                  kDisc, kRed, 0.6);
        const double vertex = vertexTime(p);
        drawMarks(finitePoints({vertex}, {parabola(p, vertex)}, axis.origin), kDiamond, kInk, 0.6);
    }
    plcol0(kInk);
    plwidth(1);
    plmtex("b", 3.0, 0.5, 0.5, plotText(axis.label).c_str());
    noteTimesOffAxis(p, axis);
    if (sums.x.empty()) {
        plbox("bcnstf", 0, 0, "bc", 0, 0);
        plmtex("t", -4.0, 0.5, 0.5, "no symmetry sums: the method did not run on this eclipse");
        return;
    }
    plbox("bcnstf", 0, 0, "bcnstvf", 0, 0);
    const std::string unit = exponent == 0 ? "mag²" : "10" + superscript(exponent) + " mag²";
    plmtex("l", 5.8, 0.5, 0.5, ("symmetry sum (" + unit + ")").c_str());
    if (zoom) {
        const Box place = zoomPlace(vertexTime(p) - axis.origin, axis);
        const bool zoomOnRight = place.left + place.right > kLeft + kRight;
        drawLegend({{"symmetry sums", kGrey, kDot, 1, false},
                    {"parabola fit", kRed, kDisc, 1, false},
                    {"vertex", kInk, kDiamond, 0, false}},
                   zoomOnRight ? LegendPlace::insideLeft : LegendPlace::insideRight, 1, 0.01, 0.02);
        drawFitZoom(p, place);
    }
}

void requirePairs(const std::vector<double>& x, const std::vector<double>& y, const char* promise) {
    require(x.size() == y.size(), promise);
}

}  // namespace

void drawEclipse(const EclipsePicture& picture, const std::string& path) {
    requirePairs(picture.times, picture.magnitudes, "a magnitude for each time");
    requirePairs(picture.gridTimes, picture.gridMagnitudes, "a grid magnitude for each grid time");
    requirePairs(picture.trialTimes, picture.sums, "a sum for each trial time");
    PlplotPage page(formatOf(path), kPageWidth, kPageHeight);
    pladv(0);
    plschr(0, kTextScale);
    const TimeAxis axis = timeAxisOf(picture);
    drawObservationPanel(picture, axis);
    drawSumPanel(picture, axis);
    page.finish(path, picture.title, picture.result);
}

}  // namespace kvw::plot
