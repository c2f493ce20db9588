// The pictures of kvw-minima --plot: one per row of the table, and the O−C
// diagram when an ephemeris gave cycle numbers.
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "plot/plot.h"
#include "timing/ephemeris.h"
#include "timing/time_eclipses.h"

namespace kvw::minima {

// A picture that cannot be written: what() names the file and the cause.
struct PictureError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The table's rows are the eclipses (timing::Eclipse): their light curves,
// windows and timings.

// The file names of the rows' pictures, without folder or extension: the
// input file's name (its extension left out) and, with an ephemeris, the
// cycle and type, e.g. "V456_Cyg_E12_primary". Letters, digits, '.', '_'
// and '-' only. Input files of the same name in different folders are told
// apart by their folders' names ("north_V456_Cyg", "south_V456_Cyg"), files
// that differ in the extension alone keep it ("V456_Cyg.fits"); every name is
// unique (a file given twice is numbered) and none is "o-c".
std::vector<std::string> pictureNames(std::span<const timing::Eclipse> rows);

// The picture of one row: the observations of its window, the method's work
// (grid, searched trials and parabola) when the row kept it, the time of
// minimum with its error, the predicted time.
plot::EclipsePicture eclipsePicture(const timing::Eclipse& row);

// The O−C diagram of the timed (ok) rows; the caption counts the rows left
// out by status.
struct OcDiagram {
    std::vector<plot::OcPoint> points;
    std::string title;
    std::string caption;
};
OcDiagram ocDiagram(std::span<const timing::Eclipse> rows, const timing::Ephemeris& ephemeris);

// Draws the picture of every row into the folder, creating it when missing,
// then o-c.<extension> with an ephemeris, through the drawing module. `drawn`
// counts the files written. Raises PictureError at the first file that cannot
// be written.
struct PictureSettings {
    std::string directory;
    std::string extension = "svg";  // svg, pdf or png
    std::optional<timing::Ephemeris> ephemeris;
};
void drawPictures(const PictureSettings& settings, std::span<const timing::Eclipse> rows,
                  std::atomic<std::size_t>& drawn);

}  // namespace kvw::minima
