#include "support/write_fits.h"

#include <fitsio.h>

#include <stdexcept>
#include <string>

namespace kvw::testing {

namespace {

void check(int status, const std::filesystem::path& path) {
    if (status != 0) {
        char text[FLEN_STATUS] = {};
        fits_get_errstatus(status, text);
        throw std::runtime_error("cannot write " + path.string() + ": " + text);
    }
}

}  // namespace

void writeFitsLightCurve(const std::filesystem::path& path, const FitsLightCurve& curve) {
    const auto rows = static_cast<LONGLONG>(curve.times.size());
    if (curve.fluxes.size() != curve.times.size() ||
        (!curve.fluxErrors.empty() && curve.fluxErrors.size() != curve.times.size()) ||
        (!curve.quality.empty() && curve.quality.size() != curve.times.size())) {
        throw std::invalid_argument("writeFitsLightCurve: columns of different lengths");
    }
    std::vector<char*> names = {const_cast<char*>("TIME"), const_cast<char*>("PDCSAP_FLUX"),
                                const_cast<char*>("QUALITY")};
    std::vector<char*> forms = {const_cast<char*>("D"), const_cast<char*>("E"), const_cast<char*>("J")};
    std::vector<char*> units = {const_cast<char*>("BJD - 2457000, days"), const_cast<char*>("e-/s"),
                                const_cast<char*>("")};
    if (!curve.fluxErrors.empty()) {
        names.push_back(const_cast<char*>("PDCSAP_FLUX_ERR"));
        forms.push_back(const_cast<char*>("E"));
        units.push_back(const_cast<char*>("e-/s"));
    }
    int status = 0;
    fitsfile* file = nullptr;
    std::string name = "!";  // replace an existing file
    name += path.string();
    fits_create_file(&file, name.c_str(), &status);
    check(status, path);
    fits_create_tbl(file, BINARY_TBL, rows, static_cast<int>(names.size()), names.data(), forms.data(),
                    units.data(), "LIGHTCURVE", &status);
    fits_write_key_str(file, "TELESCOP", "TESS", "telescope", &status);
    fits_write_key_lng(file, "BJDREFI", curve.bjdReferenceDay, "integer part of BTJD reference date", &status);
    fits_write_key_dbl(file, "BJDREFF", curve.bjdReferenceFraction, -17, "fraction of the day in BTJD reference",
                       &status);
    fits_write_key_str(file, "TIMEUNIT", "d", "time unit for TIME", &status);
    if (curve.timeSystem != nullptr) {
        fits_write_key_str(file, "TIMESYS", curve.timeSystem, "time system", &status);
    }
    if (curve.timeReference != nullptr) {
        fits_write_key_str(file, "TIMEREF", curve.timeReference, "reference point of the times", &status);
    }
    if (curve.position.size() == 2) {
        fits_write_key_dbl(file, "RA_OBJ", curve.position[0], -15, "right ascension, degrees", &status);
        fits_write_key_dbl(file, "DEC_OBJ", curve.position[1], -15, "declination, degrees", &status);
    }
    if (rows > 0) {
        std::vector<double> times = curve.times;
        std::vector<double> fluxes = curve.fluxes;
        std::vector<std::int32_t> quality = curve.quality;
        quality.resize(curve.times.size(), 0);
        fits_write_col(file, TDOUBLE, 1, 1, 1, rows, times.data(), &status);
        fits_write_col(file, TDOUBLE, 2, 1, 1, rows, fluxes.data(), &status);
        fits_write_col(file, TINT, 3, 1, 1, rows, quality.data(), &status);
        if (!curve.fluxErrors.empty()) {
            std::vector<double> errors = curve.fluxErrors;
            fits_write_col(file, TDOUBLE, 4, 1, 1, rows, errors.data(), &status);
        }
    }
    int closing = 0;
    fits_close_file(file, &closing);
    check(status, path);
    check(closing, path);
}

}  // namespace kvw::testing
