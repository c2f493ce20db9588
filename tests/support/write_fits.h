// Test support: TESS-like light-curve files (FITS) written with cfitsio.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kvw::testing {

// The LIGHTCURVE table of a TESS light-curve file: TIME (days since the
// reference BJDREFI + BJDREFF), PDCSAP_FLUX, PDCSAP_FLUX_ERR and QUALITY.
// NaN times or fluxes are written as they are.
struct FitsLightCurve {
    std::vector<double> times;
    std::vector<double> fluxes;
    std::vector<double> fluxErrors;     // empty: no PDCSAP_FLUX_ERR column
    std::vector<std::int32_t> quality;  // empty: all zero
    long long bjdReferenceDay = 2457000;   // BJDREFI
    double bjdReferenceFraction = 0.0;     // BJDREFF
    const char* timeSystem = "TDB";           // TIMESYS; nullptr: none
    const char* timeReference = "SOLARSYSTEM";  // TIMEREF; nullptr: none
    std::vector<double> position;             // RA_OBJ, DEC_OBJ (degrees); empty: none
};

// Writes the file, replacing one that exists; throws std::runtime_error with
// cfitsio's message when it cannot.
void writeFitsLightCurve(const std::filesystem::path& path, const FitsLightCurve& curve);

}  // namespace kvw::testing
