// The entry point of the drawing module.
#include "plot/drawing_module.h"

extern "C" const kvw::plot::DrawingModule* kvwDrawingModule() {
    static const kvw::plot::DrawingModule module{kvw::plot::kDrawingModuleVersion, kvw::plot::drawEclipse,
                                                 kvw::plot::drawOcDiagram};
    return &module;
}
