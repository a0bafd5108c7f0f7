#include "imaging/ImageRAS.h"

#include "imaging/ByteReader.h"

#include <algorithm>
#include <vector>

namespace {

using imaging::ByteReader;

constexpr std::uint32_t kMagic = 0x59a66a95;
constexpr std::uint32_t kOld = 0;
constexpr std::uint32_t kStandard = 1;
constexpr std::uint32_t kByteEncoded = 2;
constexpr std::uint32_t kRgbOrder = 3;
constexpr std::uint32_t kMapNone = 0;
constexpr std::uint32_t kMapRgb = 1;
constexpr std::uint8_t kEscape = 0x80;

bool Fail(CxImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

// The byte-encoded (RLE) stream: 0x80 0 is one 0x80, 0x80 n v is n + 1
// copies of v, any other byte stands for itself.
bool Unpack(ByteReader& r, std::size_t total, std::vector<std::uint8_t>& out) {
    // A run codes at most 256 bytes in three.
    if (r.Remaining() / 3 * 256 + 256 < total) {
        return false;
    }
    out.clear();
    out.reserve(total);
    while (out.size() < total) {
        const std::uint8_t b = r.U8();
        if (!r.Ok()) {
            return false;
        }
        if (b != kEscape) {
            out.push_back(b);
            continue;
        }
        const std::uint8_t n = r.U8();
        if (n == 0) {
            out.push_back(kEscape);
            continue;
        }
        const std::uint8_t v = r.U8();
        out.insert(out.end(), std::min<std::size_t>(n + 1u, total - out.size()), v);
    }
    return r.Ok();
}

} // namespace

bool CxImageRAS::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    ByteReader r(data);
    if (r.U32BE() != kMagic) {
        return Fail(image, "RAS: not a Sun raster file");
    }
    const std::uint32_t width = r.U32BE();
    const std::uint32_t height = r.U32BE();
    const std::uint32_t depth = r.U32BE();
    r.U32BE(); // length of the pixel data; zero in old files
    const std::uint32_t type = r.U32BE();
    const std::uint32_t mapType = r.U32BE();
    const std::uint32_t mapLength = r.U32BE();
    if (!r.Ok()) {
        return Fail(image, "RAS: file is truncated");
    }
    if (type != kOld && type != kStandard && type != kByteEncoded && type != kRgbOrder) {
        return Fail(image, "RAS: unsupported raster type");
    }
    if (depth != 1 && depth != 8 && depth != 24 && depth != 32) {
        return Fail(image, "RAS: unsupported depth");
    }
    if (mapType != kMapNone && mapType != kMapRgb && !(mapType == 2 && mapLength == 0)) {
        return Fail(image, "RAS: unsupported colour map type");
    }
    if (mapType == kMapRgb && (mapLength % 3 != 0 || mapLength > 768)) {
        return Fail(image, "RAS: invalid colour map");
    }
    if (width == 0 || height == 0 || !CxImage::CheckDimensions(width, height, depth)) {
        return Fail(image, "RAS: invalid dimensions");
    }
    auto map = r.Bytes(mapType == kMapNone ? 0 : mapLength);
    if (!r.Ok()) {
        return Fail(image, "RAS: file is truncated");
    }
    const std::size_t mapColors = map.size() / 3;
    // Rows are padded to 16 bits.
    const std::size_t stride = ((std::size_t{width} * depth + 15) / 16) * 2;
    const std::size_t total = stride * height;
    std::vector<std::uint8_t> pixels;
    if (type == kByteEncoded) {
        if (!Unpack(r, total, pixels)) {
            return Fail(image, "RAS: file is truncated");
        }
    } else {
        auto raw = r.Bytes(total);
        if (!r.Ok()) {
            return Fail(image, "RAS: file is truncated");
        }
        pixels.assign(raw.begin(), raw.end());
    }
    const bool palette = depth <= 8;
    CxImage out;
    if (!out.Create(width, height, palette ? depth : 24, imaging::kFormatRas)) {
        return Fail(image, out.GetLastError().c_str());
    }
    if (palette) {
        std::vector<RgbQuad> colors(std::size_t{1} << depth);
        for (std::size_t i = 0; i < colors.size(); ++i) {
            if (mapColors > 0) {
                colors[i] = i < mapColors
                                ? MakeRgb(map[i], map[mapColors + i], map[2 * mapColors + i])
                                : RgbQuad{};
            } else if (depth == 1) {
                colors[i] = i == 0 ? MakeRgb(255, 255, 255) : MakeRgb(0, 0, 0);
            } else {
                const auto v = static_cast<std::uint8_t>(i);
                colors[i] = MakeRgb(v, v, v);
            }
        }
        out.SetPalette(colors);
    }
    const std::size_t pixelBytes = depth / 8;
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint8_t* src = pixels.data() + row * stride;
        std::uint8_t* dst = out.GetBits(height - 1 - row);
        if (palette) {
            std::copy(src, src + (std::size_t{width} * depth + 7) / 8, dst);
            continue;
        }
        for (std::uint32_t x = 0; x < width; ++x) {
            // 32-bit pixels lead with a pad byte; the standard order is
            // blue, green, red and type 3 stores red, green, blue.
            const std::uint8_t* p = src + x * pixelBytes + (depth == 32 ? 1 : 0);
            std::uint8_t rgb[3] = {p[2], p[1], p[0]};
            if (type == kRgbOrder) {
                std::swap(rgb[0], rgb[2]);
            }
            if (mapColors > 0) {
                for (std::uint8_t& c : rgb) {
                    c = c < mapColors ? map[(&c - rgb) * mapColors + c] : c;
                }
            }
            dst[x * 3] = rgb[2];
            dst[x * 3 + 1] = rgb[1];
            dst[x * 3 + 2] = rgb[0];
        }
    }
    image = std::move(out);
    return true;
}
