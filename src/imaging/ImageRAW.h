#pragma once

// CxImageRAW: the camera raw decoder of the image object, through LibRaw.
// Decode gives the full demosaiced picture for the viewer; DecodeThumbnail
// gives a quick smaller picture for thumbnails (the embedded preview when
// it is large enough, otherwise a half-size decode). Stateless; any
// thread (each call has its own decoder).

#include "imaging/Image.h"

#include <cstdint>
#include <span>

class CxImageRAW {
public:
    // Decodes a whole file held in memory into `image`; on failure the
    // image's last error says why and `image` is left as it was.
    static bool Decode(std::span<const std::uint8_t> data, CxImage& image);
    // A picture at least minWidth × minHeight where the file allows,
    // without a full-size demosaic.
    static bool DecodeThumbnail(std::span<const std::uint8_t> data, CxImage& image,
                                std::uint32_t minWidth, std::uint32_t minHeight);
    // Whether the content starts like a raw file this decoder may read (a
    // quick test before the decoder itself is asked).
    static bool LooksLikeRaw(std::span<const std::uint8_t> data);
};
