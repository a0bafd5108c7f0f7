#pragma once

// The table of codecs the image object dispatches to, in the order that
// detection from content tries them. A format is added by writing its
// CxImageXXX class and listing it here; types without an entry fail to load
// and save with a clear error. Read-only after start-up; any thread.

#include "imaging/Image.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace imaging {

struct CodecEntry {
    int type;
    const char* name;
    bool (*decode)(std::span<const std::uint8_t> data, CxImage& image);
    // Null for formats that are read only.
    bool (*encode)(const CxImage& image, std::vector<std::uint8_t>& out, std::string& error);
};

// Every codec, in detection order: BMP, JPEG, camera raw, ICO, GIF, PNG,
// TIFF, MNG, TGA, PCX, WBMP, WMF/EMF, the JPEG 2000 family, SKA (those
// that exist).
std::span<const CodecEntry> DetectionOrder();
const CodecEntry* FindCodec(int type);

} // namespace imaging
