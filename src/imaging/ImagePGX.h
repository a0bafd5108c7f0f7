#pragma once

// CxImagePGX: the PGX (JPEG 2000 test format) decoder of the image object. Stateless; any thread.

#include "imaging/Image.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CxImagePGX {
public:
    // Decodes a whole file held in memory into `image`; on failure the
    // image's last error says why and `image` is left as it was.
    static bool Decode(std::span<const std::uint8_t> data, CxImage& image);
};
