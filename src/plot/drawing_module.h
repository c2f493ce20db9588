// The plot room as a module that a program loads (dlopen) only when it draws:
// PLplot and its forty-odd libraries are then loaded by the runs that draw
// pictures and by no other. The module exports one C function, named by
// kDrawingModuleEntry, that returns the table below; the program and the
// module are built together, so the table holds plain C++ functions, and a
// PlotError or a PreconditionFailure that they raise reaches the caller.
#pragma once

#include <string>
#include <vector>

#include "plot/plot.h"

namespace kvw::plot {

struct DrawingModule {
    int version;  // kDrawingModuleVersion of the module's build
    void (*drawEclipse)(const EclipsePicture& picture, const std::string& path);
    void (*drawOcDiagram)(const std::vector<OcPoint>& points, const std::string& title, const std::string& caption,
                          const std::string& path);
};

// Changed whenever the table or the picture types change, so that a module
// of another build is refused rather than called.
inline constexpr int kDrawingModuleVersion = 1;

// The module's file name, and its entry point.
inline constexpr const char* kDrawingModuleFile = "kvw-minima-plot.so";
inline constexpr const char* kDrawingModuleEntry = "kvwDrawingModule";

}  // namespace kvw::plot
