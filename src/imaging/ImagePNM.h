#pragma once

// CxImagePNM: the portable anymap decoder (P1 to P6) of the image object. Stateless; any thread.

#include "imaging/Image.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CxImagePNM {
public:
    // Decodes a whole file held in memory into `image`; on failure the
    // image's last error says why and `image` is left as it was.
    static bool Decode(std::span<const std::uint8_t> data, CxImage& image);
};
