#include "imaging/ImageSKA.h"

#include "imaging/ByteReader.h"

#include <array>
#include <cstring>

// The SKA layout, all numbers little-endian:
//
//   offset  size          field
//   0       4             signature "SKA" followed by 0x1A
//   4       2             width in pixels (1 … 65535)
//   6       2             height in pixels (1 … 65535)
//   8       2             number of palette colours n (1 … 256)
//   10      3 × n         palette: red, green, blue per colour
//   10+3n   width×height  pixel indices, one byte each, rows top-down,
//                         no padding; every index is below n
//
// Anything after the last row is ignored.

namespace {

using imaging::ByteReader;

constexpr std::array<std::uint8_t, 4> kSignature = {'S', 'K', 'A', 0x1a};

bool Fail(CxImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

} // namespace

bool CxImageSKA::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    if (data.size() < kSignature.size() ||
        std::memcmp(data.data(), kSignature.data(), kSignature.size()) != 0) {
        return Fail(image, "SKA: not an SKA file");
    }
    ByteReader r(data);
    r.Skip(kSignature.size());
    const std::uint16_t width = r.U16LE();
    const std::uint16_t height = r.U16LE();
    const std::uint16_t colors = r.U16LE();
    if (!r.Ok()) {
        return Fail(image, "SKA: file is truncated");
    }
    if (width == 0 || height == 0) {
        return Fail(image, "SKA: invalid dimensions");
    }
    if (colors == 0 || colors > 256) {
        return Fail(image, "SKA: invalid palette size");
    }
    auto map = r.Bytes(std::size_t{colors} * 3);
    auto pixels = r.Bytes(std::size_t{width} * height);
    if (!r.Ok()) {
        return Fail(image, "SKA: file is truncated");
    }
    CxImage out;
    if (!out.Create(width, height, 8, imaging::kFormatSka)) {
        return Fail(image, out.GetLastError().c_str());
    }
    std::vector<RgbQuad> palette(256);
    for (std::size_t i = 0; i < colors; ++i) {
        palette[i] = MakeRgb(map[i * 3], map[i * 3 + 1], map[i * 3 + 2]);
    }
    out.SetPalette(palette);
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint8_t* src = pixels.data() + std::size_t{row} * width;
        std::uint8_t* dst = out.GetBits(height - 1u - row);
        for (std::uint32_t x = 0; x < width; ++x) {
            if (src[x] >= colors) {
                return Fail(image, "SKA: pixel index outside the palette");
            }
            dst[x] = src[x];
        }
    }
    image = std::move(out);
    return true;
}

bool CxImageSKA::Encode(const CxImage& image, std::vector<std::uint8_t>& out, std::string& error) {
    if (!image.IsValid()) {
        error = "SKA: no picture to write";
        return false;
    }
    if (image.GetBpp() > 8) {
        error = "SKA: only palette pictures can be written";
        return false;
    }
    if (image.Width() > 0xffff || image.Height() > 0xffff) {
        error = "SKA: picture too large for the format";
        return false;
    }
    const std::uint32_t width = image.Width();
    const std::uint32_t height = image.Height();
    const std::uint32_t colors = image.GetNumColors();
    out.assign(kSignature.begin(), kSignature.end());
    auto u16 = [&](std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    u16(width);
    u16(height);
    u16(colors);
    for (const RgbQuad& c : image.GetPalette()) {
        out.insert(out.end(), {c.red, c.green, c.blue});
    }
    out.reserve(out.size() + std::size_t{width} * height);
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint32_t y = height - 1 - row;
        for (std::uint32_t x = 0; x < width; ++x) {
            out.push_back(image.GetPixelIndex(x, y));
        }
    }
    return true;
}
