// Drawing helpers shared by the pictures: ranges of finite data, marks and
// lines over caller data, legends and text. Internal to the plot library;
// everything here draws on the current PLplot stream.
#pragma once

#include <string>
#include <vector>

namespace kvw::plot::detail {

struct Range {
    double low = 0;
    double high = 0;
    bool empty() const { return !(low <= high); }
    double span() const { return high - low; }
};

// An empty range, to be widened by include().
Range noRange();
void include(Range& range, double value);                      // non-finite values are skipped
void include(Range& range, const std::vector<double>& values);

// The range widened by fraction of its span on each side; a range of one
// value gets halfWidth on each side, an empty one becomes fallback.
Range padded(Range range, double fraction, double halfWidth, Range fallback);

// The points (x[i] - xShift, y[i]) whose coordinates are both finite.
struct Points {
    std::vector<double> x, y;
};
Points finitePoints(const std::vector<double>& x, const std::vector<double>& y, double xShift = 0,
                    double yScale = 1);

void drawMarks(const Points& points, const char* symbol, int colour, double size);
void drawLine(const Points& points, int colour, double width, int style = 1);
void drawVerticalLine(double x, const Range& y, int colour, double width, int style = 1);
void shadeBetween(double x0, double x1, const Range& y, int colour);

struct LegendEntry {
    std::string text;
    int colour = 0;
    const char* symbol = nullptr;  // a mark, or none
    int lineStyle = 0;             // 1 solid, 2 dashed, ...; 0 for no line
    bool box = false;              // a shaded box, as for the error band
};
enum class LegendPlace {
    above,        // centred above the viewport
    insideLeft,   // in the top left corner
    insideRight,  // in the top right corner
};
// The entries in the given number of columns at their place, moved by
// (dx, dy) in units of the viewport.
void drawLegend(const std::vector<LegendEntry>& entries, LegendPlace place, int columns, double dx, double dy);

// Text as PLplot takes it: valid UTF-8 with PLplot's escape character
// doubled, control characters replaced by blanks.
std::string plotText(const std::string& text);
// Valid UTF-8 without control characters: invalid bytes become U+FFFD.
std::string cleanText(const std::string& text);
// The text in lines of at most `width` characters, broken at its line feeds
// and at blanks; a word longer than that stays whole on a line of its own.
std::vector<std::string> wrappedText(const std::string& text, std::size_t width);

}  // namespace kvw::plot::detail
