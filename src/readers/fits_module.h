// The FITS reader as a module that a program loads (dlopen) only when it reads
// a FITS file: cfitsio and the libraries it brings (libcurl and its TLS and
// Kerberos libraries) are then loaded by those runs alone. The module exports
// one C function, named by kFitsModuleEntry, that returns the table below;
// the program and the module are built together, so the table holds a plain
// C++ function, and a ReadError it raises reaches the caller.
#pragma once

#include "readers/light_curve.h"

namespace kvw::readers {

struct FitsModule {
    int version;  // kFitsModuleVersion of the module's build
    FitsReader read;
};

// Changed whenever the table or the types it passes change, so that a module
// of another build is refused rather than called.
inline constexpr int kFitsModuleVersion = 1;

// The module's file name, and its entry point.
inline constexpr const char* kFitsModuleFile = "kvw-minima-fits.so";
inline constexpr const char* kFitsModuleEntry = "kvwFitsModule";

}  // namespace kvw::readers
