#pragma once

// CxImageTGA: the Truevision TGA decoder of the image object (colour-mapped, true-colour and grey,
// raw and RLE). Stateless; any thread.

#include "imaging/Image.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CxImageTGA {
public:
    // Decodes a whole file held in memory into `image`; on failure the
    // image's last error says why and `image` is left as it was.
    static bool Decode(std::span<const std::uint8_t> data, CxImage& image);
};
