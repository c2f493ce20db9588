// The O−C diagram: O−C in minutes against cycle, with error bars.
#include <plplot/plplot.h>

#include <algorithm>
#include <cmath>

#include "base/units.h"
#include "detail/drawing.h"
#include "detail/plplot_page.h"
#include "plot/plot.h"

namespace kvw::plot {

using namespace detail;

namespace {

constexpr int kPageWidth = 1000;
constexpr int kPageHeight = 620;

constexpr double kLeft = 0.11;
constexpr double kRight = 0.96;
constexpr double kBottom = 0.19;
constexpr double kTop = 0.85;

struct Kind {
    bool secondary;
    const char* symbol;
    int colour;
    const char* name;
};
const Kind kPrimary{false, "●", kBlue, "primary"};
const Kind kSecondary{true, "○", kOrange, "secondary"};

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// The points always show; error bars widen the range only up to a limit set
// by the scatter of the points and the typical bar, so that one huge bar
// does not flatten the diagram (it runs off the frame instead).
Range ocRange(const std::vector<OcPoint>& points) {
    Range values = noRange();
    std::vector<double> errors;
    for (const OcPoint& point : points) {
        include(values, point.ocDays * kMinutesPerDay);
        if (std::isfinite(point.errorDays)) {
            errors.push_back(std::abs(point.errorDays) * kMinutesPerDay);
        }
    }
    if (values.empty()) {
        return {-1, 1};
    }
    const double limit = std::max(values.span(), 3 * median(errors));
    Range withBars = values;
    for (const OcPoint& point : points) {
        const double oc = point.ocDays * kMinutesPerDay;
        const double bar = std::min(std::abs(point.errorDays) * kMinutesPerDay, limit);
        if (std::isfinite(oc) && std::isfinite(bar)) {
            include(withBars, oc - bar);
            include(withBars, oc + bar);
        }
    }
    include(withBars, 0.0);
    return padded(withBars, 0.08, std::max(1.0, std::abs(withBars.low)), {-1, 1});
}

void drawKind(const std::vector<OcPoint>& points, const Kind& kind) {
    Points marks;
    std::vector<double> low, high, cycles;
    for (const OcPoint& point : points) {
        const double oc = point.ocDays * kMinutesPerDay;
        if (point.secondary != kind.secondary || !std::isfinite(point.cycle) || !std::isfinite(oc)) {
            continue;
        }
        marks.x.push_back(point.cycle);
        marks.y.push_back(oc);
        const double bar = std::abs(point.errorDays) * kMinutesPerDay;
        if (std::isfinite(bar) && bar > 0) {
            cycles.push_back(point.cycle);
            low.push_back(oc - bar);
            high.push_back(oc + bar);
        }
    }
    if (!cycles.empty()) {
        plcol0(kind.colour);
        plwidth(1.2);
        plerry(static_cast<PLINT>(cycles.size()), cycles.data(), low.data(), high.data());
        plwidth(1);
    }
    drawMarks(marks, kind.symbol, kind.colour, 1.0);
}

}  // namespace

void drawOcDiagram(const std::vector<OcPoint>& points, const std::string& title, const std::string& caption,
                   const std::string& path) {
    PlplotPage page(formatOf(path), kPageWidth, kPageHeight);
    pladv(0);
    plschr(0, 1.0);

    Range cycles = noRange();
    bool primaries = false;
    bool secondaries = false;
    for (const OcPoint& point : points) {
        if (std::isfinite(point.cycle) && std::isfinite(point.ocDays)) {
            include(cycles, point.cycle);
            (point.secondary ? secondaries : primaries) = true;
        }
    }
    const Range x = padded(cycles, 0.04, 1, {0, 1});
    const Range y = ocRange(points);

    plvpor(kLeft, kRight, kBottom, kTop);
    plwind(x.low, x.high, y.low, y.high);
    drawLine({{x.low, x.high}, {0, 0}}, kGrey, 1, 3);
    drawKind(points, kPrimary);
    drawKind(points, kSecondary);

    plcol0(kInk);
    plbox("bcnst", 0, 0, "bcnstv", 0, 0);
    plmtex("b", 3.0, 0.5, 0.5, "cycle E");
    plmtex("l", 5.0, 0.5, 0.5, "O − C  (minutes)");
    plmtex("t", 3.4, 0.5, 0.5, plotText(title).c_str());
    plmtex("b", 5.2, 0.0, 0.0, plotText(caption).c_str());
    if (!primaries && !secondaries) {
        plmtex("t", -5.0, 0.5, 0.5, "no timed eclipses");
    }
    std::vector<LegendEntry> legend;
    if (primaries) {
        legend.push_back({kPrimary.name, kPrimary.colour, kPrimary.symbol, 0, false});
    }
    if (secondaries) {
        legend.push_back({kSecondary.name, kSecondary.colour, kSecondary.symbol, 0, false});
    }
    drawLegend(legend, LegendPlace::above, 2, 0, 0.01);
    page.finish(path, title, caption);
}

}  // namespace kvw::plot
