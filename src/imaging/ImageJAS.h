#pragma once

// CxImageJAS: the JPEG 2000 decoder of the image object, for the JP2 file
// format and the bare J2K/JPC code stream, through OpenJPEG. Stateless; any
// thread.

#include "imaging/Image.h"

#include <cstdint>
#include <span>

class CxImageJAS {
public:
    // Decode a JP2 file or a J2K code stream held in memory into `image`;
    // on failure the image's last error says why and `image` is left as
    // it was.
    static bool DecodeJp2(std::span<const std::uint8_t> data, CxImage& image);
    static bool DecodeJpc(std::span<const std::uint8_t> data, CxImage& image);
};
