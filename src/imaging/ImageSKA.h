#pragma once

// CxImageSKA: the SKA palette format decoder and encoder of the image object. Stateless; any
// thread.

#include "imaging/Image.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CxImageSKA {
public:
    // Decodes a whole file held in memory into `image`; on failure the
    // image's last error says why and `image` is left as it was.
    static bool Decode(std::span<const std::uint8_t> data, CxImage& image);
    // Encodes `image` into `out`; on failure `error` says why.
    static bool Encode(const CxImage& image, std::vector<std::uint8_t>& out, std::string& error);
};
