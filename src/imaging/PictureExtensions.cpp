#include "imaging/PictureExtensions.h"

#include "imaging/ImageFormats.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace imaging {

namespace {

constexpr PictureExtension kExtensions[] = {
    {"bmp", kFormatBmp},
    {"dib", kFormatBmp},
    {"jpg", kFormatJpg},
    {"jpeg", kFormatJpg},
    {"jpe", kFormatJpg},
    {"jfif", kFormatJpg},
    {"gif", kFormatGif},
    {"png", kFormatPng},
    {"ico", kFormatIco},
    {"cur", kFormatIco},
    {"tif", kFormatTif},
    {"tiff", kFormatTif},
    {"tga", kFormatTga},
    {"targa", kFormatTga},
    {"pcx", kFormatPcx},
    {"wbmp", kFormatWbmp},
    {"wmf", kFormatWmf},
    {"emf", kFormatWmf},
    {"jp2", kFormatJp2},
    {"j2k", kFormatJpc},
    {"jpc", kFormatJpc},
    {"j2c", kFormatJpc},
    {"pgx", kFormatPgx},
    {"pnm", kFormatPnm},
    {"pbm", kFormatPnm},
    {"pgm", kFormatPnm},
    {"ppm", kFormatPnm},
    {"ras", kFormatRas},
    {"mng", kFormatMng},
    {"ska", kFormatSka},
    // Camera raw, as far as the raw decoder reads them.
    {"nef", kFormatRaw},
    {"nrw", kFormatRaw},
    {"cr2", kFormatRaw},
    {"cr3", kFormatRaw},
    {"crw", kFormatRaw},
    {"arw", kFormatRaw},
    {"srf", kFormatRaw},
    {"sr2", kFormatRaw},
    {"dng", kFormatRaw},
    {"orf", kFormatRaw},
    {"raf", kFormatRaw},
    {"rw2", kFormatRaw},
    {"rwl", kFormatRaw},
    {"pef", kFormatRaw},
    {"srw", kFormatRaw},
    {"mrw", kFormatRaw},
    {"kdc", kFormatRaw},
    {"dcr", kFormatRaw},
    {"erf", kFormatRaw},
    {"mef", kFormatRaw},
    {"mos", kFormatRaw},
    {"3fr", kFormatRaw},
    {"iiq", kFormatRaw},
    {"x3f", kFormatRaw},
};

// The lower-cased text after the last dot of the file name part; empty
// when the name has no dot.
std::string ExtensionOf(std::string_view name) {
    const std::size_t slash = name.find_last_of('/');
    if (slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) {
        return {};
    }
    name.remove_prefix(dot + 1);
    std::string ext(name);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

} // namespace

std::span<const PictureExtension> PictureExtensions() {
    return kExtensions;
}

int PictureFormatOfExtension(std::string_view name) {
    const std::string ext = ExtensionOf(name);
    for (const PictureExtension& e : kExtensions) {
        if (e.extension == ext) {
            return e.type;
        }
    }
    return kFormatUnknown;
}

bool IsPictureExtension(std::string_view name) {
    return PictureFormatOfExtension(name) != kFormatUnknown;
}

} // namespace imaging
