#include "imaging/ImageWBMP.h"

#include "imaging/ByteReader.h"

#include <algorithm>

namespace {

using imaging::ByteReader;

bool Fail(CxImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

// A multi-byte integer: seven bits per byte, most significant first, the
// top bit set on every byte but the last. Fails past 32 bits.
bool ReadMultiByte(ByteReader& r, std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 5; ++i) {
        const std::uint8_t b = r.U8();
        if (!r.Ok() || (value >> 25) != 0) {
            return false;
        }
        value = (value << 7) | (b & 0x7f);
        if ((b & 0x80) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

bool CxImageWBMP::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    ByteReader r(data);
    std::uint32_t type = 0;
    if (!ReadMultiByte(r, type) || type != 0) {
        return Fail(image, "WBMP: not a type 0 wireless bitmap");
    }
    // The fixed header byte: no extension headers in type 0.
    const std::uint8_t fixed = r.U8();
    if (!r.Ok() || fixed != 0) {
        return Fail(image, "WBMP: not a type 0 wireless bitmap");
    }
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!ReadMultiByte(r, width) || !ReadMultiByte(r, height)) {
        return Fail(image, "WBMP: file is truncated");
    }
    if (width == 0 || height == 0) {
        return Fail(image, "WBMP: invalid dimensions");
    }
    if (!CxImage::CheckDimensions(width, height, 1)) {
        return Fail(image, "WBMP: dimensions too large");
    }
    const std::size_t stride = (std::size_t{width} + 7) / 8;
    if (r.Remaining() / stride < height) {
        return Fail(image, "WBMP: file is truncated");
    }
    CxImage out;
    if (!out.Create(width, height, 1, imaging::kFormatWbmp)) {
        return Fail(image, out.GetLastError().c_str());
    }
    // 0 is black and 1 is white, the rows run top-down.
    const RgbQuad palette[2] = {MakeRgb(0, 0, 0), MakeRgb(255, 255, 255)};
    out.SetPalette(palette);
    for (std::uint32_t row = 0; row < height; ++row) {
        auto bytes = r.Bytes(stride);
        std::uint8_t* dst = out.GetBits(height - 1 - row);
        std::copy(bytes.begin(), bytes.end(), dst);
    }
    image = std::move(out);
    return true;
}
