// One picture drawn by PLplot into memory and then stored in a file: the
// stream, its device, its colours, and PLplot's failures turned into
// PlotError. Internal to the plot library.
#pragma once

#include <memory>
#include <string>

namespace kvw::plot::detail {

enum class Format { svg, pdf, png };

// The format named by the path's extension; PlotError for any other.
Format formatOf(const std::string& path);

// Entries of the colour map set up for every picture.
enum Colour : int {
    kBackground = 0,
    kInk = 1,        // axes, text, observations
    kGrey = 2,       // secondary data, zero lines
    kBlue = 3,       // the resampled branch, primaries
    kRed = 4,        // the time of minimum, the fit
    kGreen = 5,      // the predicted time
    kBand = 6,       // the error band: translucent red
    kOrange = 7,     // secondaries
    kLightGrey = 8,  // the inset's background frame
};

// A PLplot stream of its own, initialised on construction (page size in
// points for SVG and PDF, in pixels for PNG) and made current. finish() ends
// the stream and writes the file; a page destroyed unfinished is ended and
// discarded. Pages must not be nested.
class PlplotPage {
public:
    PlplotPage(Format format, int width, int height);
    ~PlplotPage();
    PlplotPage(const PlplotPage&) = delete;
    PlplotPage& operator=(const PlplotPage&) = delete;

    // Ends the stream and stores the picture at path. An SVG gets title and
    // description elements (text that its drawn glyphs do not carry).
    void finish(const std::string& path, const std::string& title, const std::string& description);

    struct State;

private:
    void abandon();  // ends the stream when PLplot can still do so, and lets go of it

    std::unique_ptr<State> state_;
};

}  // namespace kvw::plot::detail
