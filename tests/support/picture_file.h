// Test support: whether a picture file is well-formed for its format, and
// the title and description an SVG file carries as text.
#pragma once

#include <filesystem>
#include <string>

namespace kvw::testing {

struct PictureFile {
    bool wellFormed = false;  // SVG: parses as XML with an svg root; PDF and PNG: their signatures
    std::string problem;      // why not, when it is not
    std::string title;        // SVG: the text of the title and desc elements
    std::string description;
};

// Reads the file at `path`, judging it by its extension (.svg, .pdf, .png in
// any letter case).
PictureFile readPictureFile(const std::filesystem::path& path);

}  // namespace kvw::testing
