#include "support/picture_file.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace kvw::testing {

namespace {

void readSvg(const std::filesystem::path& path, PictureFile& picture) {
    xmlDocPtr document = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR);
    if (document == nullptr) {
        picture.problem = "not well-formed XML";
        return;
    }
    const xmlNode* root = xmlDocGetRootElement(document);
    if (root == nullptr || std::string(reinterpret_cast<const char*>(root->name)) != "svg") {
        picture.problem = "no svg root element";
        xmlFreeDoc(document);
        return;
    }
    picture.wellFormed = true;
    for (const xmlNode* node = root->children; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) {
            continue;
        }
        const std::string name = reinterpret_cast<const char*>(node->name);
        if (name == "title" || name == "desc") {
            xmlChar* content = xmlNodeGetContent(node);
            (name == "title" ? picture.title : picture.description) = reinterpret_cast<const char*>(content);
            xmlFree(content);
        }
    }
    xmlFreeDoc(document);
}

}  // namespace

PictureFile readPictureFile(const std::filesystem::path& path) {
    PictureFile picture;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        picture.problem = "missing";
        return picture;
    }
    std::ostringstream content;
    content << in.rdbuf();
    const std::string bytes = content.str();
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".svg") {
        readSvg(path, picture);
    } else if (extension == ".pdf") {
        picture.wellFormed = bytes.compare(0, 5, "%PDF-") == 0 && bytes.size() > 8 &&
                             bytes.find("%%EOF", bytes.size() - 8) != std::string::npos;
        picture.problem = picture.wellFormed ? "" : "no PDF signature or end";
    } else if (extension == ".png") {
        picture.wellFormed = bytes.size() >= 24 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0 &&
                             bytes.compare(12, 4, "IHDR") == 0;
        picture.problem = picture.wellFormed ? "" : "no PNG signature";
    } else {
        picture.problem = "not a picture's extension";
    }
    return picture;
}

}  // namespace kvw::testing
