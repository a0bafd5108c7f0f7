#pragma once

// The ready-to-draw copy of a thumbnail a file object keeps: a bitmap
// header, the colour table of a 1-, 4- or 8-bit picture (none otherwise) and
// the pixel rows, bottom-up, each padded to a multiple of 4 bytes. Owns both
// blocks. Guarded by its file object's lock.

#include "imaging/Image.h"

#include <cstdint>
#include <memory>
#include <vector>

struct ThumbnailDib {
    BitmapInfoHeader header;
    std::vector<RgbQuad> colorTable;
    std::vector<std::uint8_t> bits;

    std::int32_t Width() const { return header.width; }
    std::int32_t Height() const { return header.height; }
    // Bytes per row, padded to 4.
    std::size_t Stride() const {
        return CxImage::RowBytes(static_cast<std::uint32_t>(header.width), header.bitCount);
    }
    bool IsValid() const { return header.width > 0 && header.height > 0 && !bits.empty(); }

    // A copy of the picture's bitmap; null for an empty picture.
    static std::unique_ptr<ThumbnailDib> FromImage(const CxImage& image);
};
