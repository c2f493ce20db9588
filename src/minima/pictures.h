// The pictures of kvw-minima --plot: one per row of the table, and the O−C
// diagram when an ephemeris gave cycle numbers.
#pragma once

#include <atomic>
#include <cstddef>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "minima/output.h"
#include "plot/plot.h"
#include "timing/ephemeris.h"
#include "timing/time_eclipses.h"

namespace kvw::minima {

// A picture that cannot be written: what() names the file and the cause.
struct PictureError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The file names of the rows' pictures, without folder or extension: the
// input file's name (its extension left out) and, with an ephemeris, the
// cycle and type, e.g. "V456_Cyg_E12_primary". Letters, digits, '.', '_'
// and '-' only. Input files of the same name in different folders are told
// apart by their folders' names ("north_V456_Cyg", "south_V456_Cyg"), files
// that differ in the extension alone keep it ("V456_Cyg.fits"); every name is
// unique (a file given twice is numbered) and none is "o-c".
std::vector<std::string> pictureNames(std::span<const Row> rows);

// The picture of one row: the observations of its window (times and
// magnitudes of the task's [first, last)), the method's detail when the row
// has it, the time of minimum with its error, the predicted time.
plot::EclipsePicture eclipsePicture(const Row& row, std::span<const double> times,
                                    std::span<const double> magnitudes);

// The O−C diagram of the timed (ok) rows; the caption counts the rows left
// out by status.
struct OcDiagram {
    std::vector<plot::OcPoint> points;
    std::string title;
    std::string caption;
};
OcDiagram ocDiagram(std::span<const Row> rows, const timing::Ephemeris& ephemeris);

// Draws the picture of every row (rows[i] was timed from tasks[i]) into the
// folder, creating it when missing, then o-c.<extension> with an ephemeris.
// `drawn` counts the files written. Raises PictureError at the first file
// that cannot be written.
struct PictureSettings {
    std::string directory;
    std::string extension = "svg";  // svg, pdf or png
    const timing::Ephemeris* ephemeris = nullptr;
};
void drawPictures(const PictureSettings& settings, std::span<const Row> rows,
                  std::span<const timing::EclipseTask> tasks, std::atomic<std::size_t>& drawn);

}  // namespace kvw::minima
