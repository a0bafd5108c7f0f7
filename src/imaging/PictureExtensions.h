#pragma once

// The file name extensions that count as pictures (folder listings, the
// images-only listing), one entry per extension our decoders accept, with
// the format type each one names. Constant data; any thread.

#include <span>
#include <string_view>

namespace imaging {

struct PictureExtension {
    std::string_view extension; // lower case, without the dot
    int type;                   // format type number (ImageFormats.h)
};

// Every picture extension, grouped by format.
std::span<const PictureExtension> PictureExtensions();

// Whether a file name (or path) ends in a picture extension; the case of
// the extension does not matter. A bare extension is given with its dot
// (".jpg"); a name without a dot is no picture.
bool IsPictureExtension(std::string_view name);

// The format type a name's extension stands for, or kFormatUnknown.
int PictureFormatOfExtension(std::string_view name);

} // namespace imaging
