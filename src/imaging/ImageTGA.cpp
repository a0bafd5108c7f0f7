#include "imaging/ImageTGA.h"

#include "imaging/ByteReader.h"

#include <algorithm>
#include <vector>

namespace {

using imaging::ByteReader;

constexpr std::uint8_t kColorMapped = 1;
constexpr std::uint8_t kTrueColor = 2;
constexpr std::uint8_t kGrey = 3;
constexpr std::uint8_t kRleFlag = 8;

struct TgaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t colorMapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t mapFirst = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapDepth = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t bpp = 0;
    std::uint8_t descriptor = 0;

    std::uint8_t Kind() const { return imageType & 7; }
    bool Rle() const { return (imageType & kRleFlag) != 0; }
    bool TopDown() const { return (descriptor & 0x20) != 0; }
    bool RightToLeft() const { return (descriptor & 0x10) != 0; }
    std::uint32_t AlphaBits() const { return descriptor & 0x0f; }
    std::uint32_t PixelBytes() const { return (bpp + 7u) / 8u; }
};

bool Fail(CxImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

// A 15/16-bit pixel: five bits per channel, blue lowest; the top bit is
// the attribute (alpha) bit.
RgbQuad Rgb555(std::uint16_t v) {
    auto scale = [](unsigned c) { return static_cast<std::uint8_t>((c << 3) | (c >> 2)); };
    return RgbQuad{scale(v & 31), scale((v >> 5) & 31), scale((v >> 10) & 31),
                   static_cast<std::uint8_t>((v & 0x8000) ? 255 : 0)};
}

// One stored colour (palette entry or true-colour pixel) of `depth` bits.
RgbQuad ReadColor(const std::uint8_t* p, std::uint32_t depth) {
    switch (depth) {
    case 15:
    case 16:
        return Rgb555(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
    case 24:
        return RgbQuad{p[0], p[1], p[2], 255};
    default:
        return RgbQuad{p[0], p[1], p[2], p[3]};
    }
}

const char* Validate(const TgaHeader& h) {
    if (h.colorMapType > 1) {
        return "TGA: unknown colour map type";
    }
    const std::uint8_t kind = h.Kind();
    if ((h.imageType & ~(kRleFlag | 7)) != 0 || kind < kColorMapped || kind > kGrey) {
        return "TGA: unknown image type";
    }
    if (h.width == 0 || h.height == 0) {
        return "TGA: invalid dimensions";
    }
    if (h.colorMapType == 1) {
        if (h.mapDepth != 15 && h.mapDepth != 16 && h.mapDepth != 24 && h.mapDepth != 32) {
            return "TGA: unsupported colour map depth";
        }
    }
    switch (kind) {
    case kColorMapped:
        if (h.colorMapType != 1 || (h.bpp != 8 && h.bpp != 16) || h.mapLength == 0) {
            return "TGA: invalid colour-mapped image";
        }
        break;
    case kTrueColor:
        if (h.bpp != 15 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32) {
            return "TGA: unsupported bit depth";
        }
        break;
    default:
        if (h.bpp != 8 && h.bpp != 16) {
            return "TGA: unsupported bit depth";
        }
        break;
    }
    if (h.AlphaBits() > 8) {
        return "TGA: invalid attribute bits";
    }
    if (!CxImage::CheckDimensions(h.width, h.height, 24)) {
        return "TGA: dimensions too large";
    }
    return nullptr;
}

// The pixel stream in file order (rows as stored), raw or run-length coded.
bool ReadPixels(ByteReader& r, const TgaHeader& h, std::vector<std::uint8_t>& out) {
    const std::size_t pixelBytes = h.PixelBytes();
    const std::size_t total = std::size_t{h.width} * h.height * pixelBytes;
    if (!h.Rle()) {
        auto raw = r.Bytes(total);
        if (!r.Ok()) {
            return false;
        }
        out.assign(raw.begin(), raw.end());
        return true;
    }
    // Each RLE packet yields at least one pixel from at most 1 + pixelBytes
    // bytes, so a stream this short cannot fill the picture.
    if (r.Remaining() < std::size_t{h.width} * h.height / 128) {
        return false;
    }
    out.clear();
    out.reserve(total);
    while (out.size() < total) {
        const std::uint8_t packet = r.U8();
        const std::size_t count = (packet & 0x7f) + 1u;
        const std::size_t bytes = std::min(count * pixelBytes, total - out.size());
        if (packet & 0x80) {
            auto pixel = r.Bytes(pixelBytes);
            if (!r.Ok()) {
                return false;
            }
            for (std::size_t i = 0; i < bytes; ++i) {
                out.push_back(pixel[i % pixelBytes]);
            }
        } else {
            auto raw = r.Bytes(count * pixelBytes);
            if (!r.Ok()) {
                return false;
            }
            out.insert(out.end(), raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(bytes));
        }
    }
    return true;
}

} // namespace

bool CxImageTGA::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    ByteReader r(data);
    TgaHeader h;
    h.idLength = r.U8();
    h.colorMapType = r.U8();
    h.imageType = r.U8();
    h.mapFirst = r.U16LE();
    h.mapLength = r.U16LE();
    h.mapDepth = r.U8();
    r.U16LE(); // x origin
    r.U16LE(); // y origin
    h.width = r.U16LE();
    h.height = r.U16LE();
    h.bpp = r.U8();
    h.descriptor = r.U8();
    if (!r.Ok()) {
        return Fail(image, "TGA: file is truncated");
    }
    if (const char* error = Validate(h)) {
        return Fail(image, error);
    }
    r.Skip(h.idLength);
    std::vector<RgbQuad> map;
    if (h.colorMapType == 1) {
        const std::uint32_t entryBytes = (h.mapDepth + 7u) / 8u;
        auto bytes = r.Bytes(std::size_t{h.mapLength} * entryBytes);
        if (!r.Ok()) {
            return Fail(image, "TGA: file is truncated");
        }
        map.resize(h.mapLength);
        for (std::size_t i = 0; i < map.size(); ++i) {
            map[i] = ReadColor(bytes.data() + i * entryBytes, h.mapDepth);
        }
    }
    std::vector<std::uint8_t> pixels;
    if (!ReadPixels(r, h, pixels)) {
        return Fail(image, "TGA: file is truncated");
    }

    const std::uint8_t kind = h.Kind();
    // An 8-bit index into a map of at most 256 entries keeps its palette;
    // everything else becomes 24-bit.
    const bool palette = kind == kColorMapped && h.bpp == 8 && h.mapFirst + map.size() <= 256;
    const bool grey = kind == kGrey && h.bpp == 8;
    const bool greyAlpha = kind == kGrey && h.bpp == 16;
    const bool alpha =
        greyAlpha || (kind == kTrueColor && h.bpp == 32 && h.AlphaBits() > 0) ||
        (kind == kTrueColor && h.bpp == 16 && h.AlphaBits() > 0) ||
        (kind == kColorMapped && (h.mapDepth == 32 || h.mapDepth == 16) && h.AlphaBits() > 0);
    CxImage out;
    if (!out.Create(h.width, h.height, palette || grey || greyAlpha ? 8 : 24,
                    imaging::kFormatTga)) {
        return Fail(image, out.GetLastError().c_str());
    }
    if (palette) {
        std::vector<RgbQuad> colors(256);
        std::copy(map.begin(), map.end(), colors.begin() + h.mapFirst);
        out.SetPalette(colors);
    }
    if (alpha) {
        out.AlphaCreate();
    }
    const std::size_t pixelBytes = h.PixelBytes();
    for (std::uint32_t row = 0; row < h.height; ++row) {
        const std::uint32_t y = h.TopDown() ? h.height - 1 - row : row;
        std::uint8_t* dst = out.GetBits(y);
        for (std::uint32_t col = 0; col < h.width; ++col) {
            const std::uint32_t x = h.RightToLeft() ? h.width - 1 - col : col;
            const std::uint8_t* p = pixels.data() + (std::size_t{row} * h.width + col) * pixelBytes;
            if (palette || grey) {
                dst[x] = p[0];
                continue;
            }
            if (greyAlpha) {
                dst[x] = p[0];
                out.AlphaSet(x, y, p[1]);
                continue;
            }
            RgbQuad c;
            if (kind == kColorMapped) {
                const std::uint32_t index = h.bpp == 8 ? p[0] : p[0] | (p[1] << 8);
                if (index < h.mapFirst || index - h.mapFirst >= map.size()) {
                    return Fail(image, "TGA: pixel index outside the colour map");
                }
                c = map[index - h.mapFirst];
            } else {
                c = ReadColor(p, h.bpp);
            }
            dst[x * 3] = c.blue;
            dst[x * 3 + 1] = c.green;
            dst[x * 3 + 2] = c.red;
            if (alpha) {
                out.AlphaSet(x, y, c.reserved);
            }
        }
    }
    if (palette && alpha) {
        // Palette entries carry the alpha; spread it over the pixels.
        for (std::uint32_t y = 0; y < h.height; ++y) {
            for (std::uint32_t x = 0; x < h.width; ++x) {
                const std::uint8_t index = out.GetPixelIndex(x, y);
                const std::size_t entry = index >= h.mapFirst ? index - h.mapFirst : map.size();
                out.AlphaSet(x, y, entry < map.size() ? map[entry].reserved : 255);
            }
        }
    }
    image = std::move(out);
    return true;
}
