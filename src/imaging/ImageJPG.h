#pragma once

// CxImageJPG: the JPG decoder and encoder of the image object. Stateless; any thread.

#include "imaging/Image.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CxImageJPG {
public:
    // Decodes a whole file held in memory into `image`; on failure the
    // image's last error says why and `image` is left as it was.
    static bool Decode(std::span<const std::uint8_t> data, CxImage& image);
    // Decodes at the smallest DCT scale (1/8 … 8/8) whose result is still at
    // least minWidth × minHeight (the full size when none is).
    static bool DecodeScaled(std::span<const std::uint8_t> data, CxImage& image,
                             std::uint32_t minWidth, std::uint32_t minHeight);
    // The numerator m of the scale m/8 DecodeScaled picks for a picture.
    static unsigned ScaleFor(std::uint32_t width, std::uint32_t height, std::uint32_t minWidth,
                             std::uint32_t minHeight);
    // Encodes `image` into `out`; on failure `error` says why.
    static bool Encode(const CxImage& image, std::vector<std::uint8_t>& out, std::string& error);
};
