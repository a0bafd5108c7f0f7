#pragma once

// CxImageWMF: the metafile decoder of the image object. Placeable WMF and
// EMF files are played into a 24-bit bitmap of the picture's own size (at
// 96 dots per inch, at most 4096 pixels a side; a WMF without the
// placeable header is sized by its first window extent, one logical unit
// to the pixel): pens, brushes (solid and
// hatched), rectangles, rounded rectangles, ellipses, polygons, polylines,
// lines, text and device-independent bitmaps. Stateless; any thread (the
// font cache for text has its own lock).

#include "imaging/Image.h"

#include <cstdint>
#include <span>

class CxImageWMF {
public:
    // Plays a whole WMF or EMF file held in memory into `image`; on failure
    // the image's last error says why and `image` is left as it was.
    static bool Decode(std::span<const std::uint8_t> data, CxImage& image);
};
