#pragma once

// CxImageMNG: the MNG decoder of the image object, through libmng: the
// first frame of the animation. Stateless; any thread (each call has its
// own decoder).

#include "imaging/Image.h"

#include <cstdint>
#include <span>

class CxImageMNG {
public:
    // Decodes the first frame of a file held in memory into `image`; on
    // failure the image's last error says why and `image` is left as it was.
    static bool Decode(std::span<const std::uint8_t> data, CxImage& image);
};
