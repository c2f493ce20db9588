// Code that kvw-minima loads only when a run needs it: the drawing code for
// --plot and the FITS reader for FITS files. A run on text tables without
// pictures thus starts without PLplot, cfitsio and the libraries they bring.
// The modules lie beside the program (the build folder) or in the library
// folder of the prefix it is installed in (lib/kvw beside bin).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "plot/drawing_module.h"
#include "readers/light_curve.h"

namespace kvw::minima {

// Where the modules are looked for, in this order, instead of beside the
// program and in its prefix's lib/kvw: for code that is not the program (the
// Python package's extension), set before the first module is loaded.
void useModuleFolders(std::vector<std::filesystem::path> folders);

// The drawing module, loaded at the first call; PictureError when it cannot be.
const plot::DrawingModule& drawingModule();

// readers::readFitsLightCurve from the FITS module, loaded at the first call;
// a ReadError naming the file when the module cannot be loaded.
readers::LightCurve readFitsFromModule(std::string_view content, const std::string& source,
                                       const readers::ReadOptions& options);

}  // namespace kvw::minima
