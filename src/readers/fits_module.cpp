// The entry point of the FITS reader's module.
#include "readers/fits_module.h"

extern "C" const kvw::readers::FitsModule* kvwFitsModule() {
    static const kvw::readers::FitsModule module{kvw::readers::kFitsModuleVersion,
                                                 kvw::readers::readFitsLightCurve};
    return &module;
}
