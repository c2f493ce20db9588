#include "detail/drawing.h"

#include <plplot/plplot.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace kvw::plot::detail {

Range noRange() {
    return {std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
}

void include(Range& range, double value) {
    if (std::isfinite(value)) {
        range.low = std::min(range.low, value);
        range.high = std::max(range.high, value);
    }
}

void include(Range& range, const std::vector<double>& values) {
    for (const double value : values) {
        include(range, value);
    }
}

Range padded(Range range, double fraction, double halfWidth, Range fallback) {
    if (range.empty()) {
        return fallback;
    }
    if (range.span() == 0) {
        return {range.low - halfWidth, range.high + halfWidth};
    }
    const double margin = fraction * range.span();
    return {range.low - margin, range.high + margin};
}

Points finitePoints(const std::vector<double>& x, const std::vector<double>& y, double xShift, double yScale) {
    Points points;
    const std::size_t count = std::min(x.size(), y.size());
    for (std::size_t i = 0; i < count; ++i) {
        const double px = x[i] - xShift;
        const double py = y[i] * yScale;
        if (std::isfinite(px) && std::isfinite(py)) {
            points.x.push_back(px);
            points.y.push_back(py);
        }
    }
    return points;
}

void drawMarks(const Points& points, const char* symbol, int colour, double size) {
    if (points.x.empty()) {
        return;
    }
    PLFLT defaultHeight = 0;
    PLFLT height = 0;
    plgchr(&defaultHeight, &height);
    plschr(0, size);
    plcol0(colour);
    plstring(static_cast<PLINT>(points.x.size()), points.x.data(), points.y.data(), symbol);
    plschr(0, height / defaultHeight);
}

void drawLine(const Points& points, int colour, double width, int style) {
    if (points.x.size() < 2) {
        return;
    }
    plcol0(colour);
    plwidth(width);
    pllsty(style);
    plline(static_cast<PLINT>(points.x.size()), points.x.data(), points.y.data());
    pllsty(1);
    plwidth(1);
}

void drawVerticalLine(double x, const Range& y, int colour, double width, int style) {
    drawLine({{x, x}, {y.low, y.high}}, colour, width, style);
}

void shadeBetween(double x0, double x1, const Range& y, int colour) {
    const PLFLT xs[4] = {x0, x1, x1, x0};
    const PLFLT ys[4] = {y.low, y.low, y.high, y.high};
    plcol0(colour);
    plfill(4, xs, ys);
}

void drawLegend(const std::vector<LegendEntry>& entries, LegendPlace place, int columns, double dx, double dy) {
    const auto count = static_cast<PLINT>(entries.size());
    if (count == 0) {
        return;
    }
    std::vector<PLINT> options, colours, lineStyles, symbolNumbers, boxPatterns;
    std::vector<PLFLT> lineWidths, symbolScales, boxScales, boxLineWidths;
    std::vector<std::string> texts;
    std::vector<const char*> textPointers, symbols;
    for (const LegendEntry& entry : entries) {
        PLINT option = 0;
        option |= entry.symbol != nullptr ? PL_LEGEND_SYMBOL : 0;
        option |= entry.lineStyle > 0 ? PL_LEGEND_LINE : 0;
        option |= entry.box ? PL_LEGEND_COLOR_BOX : 0;
        options.push_back(option == 0 ? PL_LEGEND_NONE : option);
        colours.push_back(entry.colour);
        lineStyles.push_back(entry.lineStyle > 0 ? entry.lineStyle : 1);
        lineWidths.push_back(1.5);
        symbolNumbers.push_back(1);
        symbolScales.push_back(0.7);
        symbols.push_back(entry.symbol != nullptr ? entry.symbol : "");
        boxPatterns.push_back(0);
        boxScales.push_back(0.8);
        boxLineWidths.push_back(1);
        texts.push_back(plotText(entry.text));
    }
    for (const std::string& text : texts) {
        textPointers.push_back(text.c_str());
    }
    constexpr PLINT kBackgroundColour = 0;
    constexpr PLINT kInkColour = 1;
    const std::vector<PLINT> textColours(entries.size(), kInkColour);
    PLFLT width = 0;
    PLFLT height = 0;
    PLINT position = PL_POSITION_TOP | PL_POSITION_OUTSIDE;
    if (place != LegendPlace::above) {
        position = PL_POSITION_TOP | PL_POSITION_INSIDE |
                   (place == LegendPlace::insideLeft ? PL_POSITION_LEFT : PL_POSITION_RIGHT);
    }
    const PLINT columnCount = std::clamp<PLINT>(columns, 1, count);
    const PLINT rowCount = (count + columnCount - 1) / columnCount;
    pllegend(&width, &height, PL_LEGEND_ROW_MAJOR, position, dx, dy, 0.05, kBackgroundColour, kInkColour, 1,
             rowCount, columnCount, count, options.data(), 0.6, 0.85, 1.7, 0.0, textColours.data(),
             textPointers.data(),
             colours.data(), boxPatterns.data(), boxScales.data(), boxLineWidths.data(), colours.data(),
             lineStyles.data(), lineWidths.data(), colours.data(), symbolScales.data(), symbolNumbers.data(),
             symbols.data());
}

std::string cleanText(const std::string& text) {
    static const std::string kReplacement = "\xEF\xBF\xBD";
    std::string clean;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t code = 0;
        if (lead < 0x80) {
            length = 1;
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            code = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            code = lead & 0x0Fu;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            code = lead & 0x07u;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0u) == 0x80u;
            code = (code << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and code points past U+10FFFF.
        valid = valid && !(length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) &&
                !(length == 4 && (code < 0x10000 || code > 0x10FFFF));
        if (!valid) {
            clean += kReplacement;
            ++i;
        } else if (code < 0x20 || code == 0x7F) {
            clean += ' ';
            ++i;
        } else {
            clean.append(text, i, length);
            i += length;
        }
    }
    return clean;
}

std::vector<std::string> wrappedText(const std::string& text, std::size_t width) {
    std::vector<std::string> lines;
    const std::size_t feed = text.find('\n');
    std::string rest = cleanText(text.substr(0, feed));
    for (;;) {
        // The last blank that leaves at most `width` characters before it.
        std::size_t cut = std::string::npos;
        std::size_t characters = 0;
        std::size_t i = 0;
        for (; i < rest.size() && characters <= width; ++i) {
            if ((static_cast<unsigned char>(rest[i]) & 0xC0) == 0x80) {
                continue;  // inside a character
            }
            if (rest[i] == ' ' && i > 0) {
                cut = i;
            }
            ++characters;
        }
        if (i == rest.size() && characters <= width) {
            break;
        }
        if (cut == std::string::npos) {
            cut = rest.find(' ', 1);
        }
        const std::size_t next = cut == std::string::npos ? std::string::npos : rest.find_first_not_of(' ', cut);
        if (next == std::string::npos) {
            break;
        }
        lines.push_back(rest.substr(0, rest.find_last_not_of(' ', cut) + 1));
        rest.erase(0, next);
    }
    lines.push_back(rest);
    if (feed != std::string::npos) {
        for (std::string& line : wrappedText(text.substr(feed + 1), width)) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

std::string plotText(const std::string& text) {
    std::string escaped;
    for (const char c : cleanText(text)) {
        escaped += c;
        if (c == '#') {
            escaped += '#';
        }
    }
    return escaped;
}

}  // namespace kvw::plot::detail
