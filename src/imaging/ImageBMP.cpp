#include "imaging/ImageBMP.h"

#include "imaging/ByteReader.h"
#include "imaging/ImageJPG.h"
#include "imaging/ImagePNG.h"

#include <algorithm>
#include <array>
#include <bit>

namespace {

using imaging::ByteReader;

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;
constexpr std::uint32_t kJpeg = 4;
constexpr std::uint32_t kPng = 5;
constexpr std::uint32_t kAlphaBitFields = 6;

struct BmpHeader {
    std::uint32_t offBits = 0;
    std::uint32_t headerSize = 0;
    std::int64_t width = 0;
    std::int64_t height = 0; // negative: rows stored top-down
    std::uint32_t planes = 1;
    std::uint32_t bpp = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t sizeImage = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t clrUsed = 0;
    std::array<std::uint32_t, 4> masks{}; // red, green, blue, alpha
    bool core = false;                    // 12-byte header, 3-byte palette entries
};

// One colour channel of a bit-field pixel: where it sits and how wide it is.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (m != 0) {
            shift = std::countr_zero(m);
            bits = std::popcount(m);
        }
    }
    std::uint8_t Get(std::uint32_t pixel) const {
        if (bits == 0) {
            return 0;
        }
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) {
            return static_cast<std::uint8_t>(v >> (bits - 8));
        }
        const std::uint32_t max = (1u << bits) - 1;
        return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
    }
};

bool Fail(CxImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

bool ReadInfoHeader(ByteReader& r, BmpHeader& h) {
    const std::size_t start = r.Position();
    h.headerSize = r.U32LE();
    switch (h.headerSize) {
    case 12:
        h.core = true;
        h.width = r.U16LE();
        h.height = r.U16LE();
        h.planes = r.U16LE();
        h.bpp = r.U16LE();
        return r.Ok();
    case 16:
    case 40:
    case 52:
    case 56:
    case 64:
    case 108:
    case 124:
        break;
    default:
        return false;
    }
    h.width = r.I32LE();
    h.height = r.I32LE();
    h.planes = r.U16LE();
    h.bpp = r.U16LE();
    if (h.headerSize >= 40) {
        h.compression = r.U32LE();
        h.sizeImage = r.U32LE();
        h.xPelsPerMeter = r.I32LE();
        h.yPelsPerMeter = r.I32LE();
        h.clrUsed = r.U32LE();
        r.U32LE(); // colours important
    }
    if (h.headerSize == 64 && h.compression >= kBitFields) {
        return false; // the OS/2 variant's Huffman and RLE24 codings are not supported
    }
    if (h.headerSize >= 52 && h.headerSize != 64) {
        for (int i = 0; i < (h.headerSize >= 56 ? 4 : 3); ++i) {
            h.masks[static_cast<std::size_t>(i)] = r.U32LE();
        }
    }
    r.Seek(start + h.headerSize);
    if (h.headerSize == 40 && (h.compression == kBitFields || h.compression == kAlphaBitFields)) {
        for (int i = 0; i < (h.compression == kAlphaBitFields ? 4 : 3); ++i) {
            h.masks[static_cast<std::size_t>(i)] = r.U32LE();
        }
    }
    return r.Ok();
}

const char* Validate(BmpHeader& h) {
    if (h.planes != 1) {
        return "BMP: planes must be 1";
    }
    if (h.width <= 0 || h.height == 0 || h.height < -0x7fffffffLL) {
        return "BMP: invalid dimensions";
    }
    switch (h.bpp) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return "BMP: unsupported bit count";
    }
    const bool fields = h.compression == kBitFields || h.compression == kAlphaBitFields;
    if (h.compression > kAlphaBitFields || (h.compression == kRle8 && h.bpp != 8) ||
        (h.compression == kRle4 && h.bpp != 4) || (fields && h.bpp != 16 && h.bpp != 32)) {
        return "BMP: unsupported compression";
    }
    if ((h.compression == kRle8 || h.compression == kRle4) && h.height < 0) {
        return "BMP: compressed bitmaps cannot be top-down";
    }
    if (!fields) {
        if (h.bpp == 16) {
            h.masks = {0x7c00, 0x03e0, 0x001f, 0};
        } else if (h.bpp == 32) {
            h.masks = {0xff0000, 0x00ff00, 0x0000ff, 0};
        }
    }
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = i + 1; j < 4; ++j) {
            if (h.masks[i] & h.masks[j]) {
                return "BMP: overlapping bit fields";
            }
        }
    }
    if (h.bpp <= 8 && h.clrUsed > (1u << h.bpp) && h.clrUsed > 256) {
        return "BMP: palette too large";
    }
    const std::uint64_t height = static_cast<std::uint64_t>(h.height < 0 ? -h.height : h.height);
    if (!CxImage::CheckDimensions(static_cast<std::uint64_t>(h.width), height, h.bpp)) {
        return "BMP: dimensions too large";
    }
    return nullptr;
}

bool ReadPalette(ByteReader& r, const BmpHeader& h, CxImage& image) {
    const std::uint32_t max = 1u << h.bpp;
    std::uint32_t count = h.clrUsed ? std::min(h.clrUsed, max) : max;
    const std::size_t entry = h.core ? 3 : 4;
    // Old headers give no count: the palette fills the space up to the pixels.
    if (h.offBits > r.Position() && h.clrUsed == 0) {
        count = static_cast<std::uint32_t>(
            std::min<std::size_t>(count, (h.offBits - r.Position()) / entry));
    }
    std::vector<RgbQuad> palette(count);
    for (auto& c : palette) {
        c.blue = r.U8();
        c.green = r.U8();
        c.red = r.U8();
        if (!h.core) {
            r.U8();
        }
    }
    if (!r.Ok()) {
        return false;
    }
    image.SetPalette(palette);
    return true;
}

// Index of pixel x in a row of 1, 2, 4 or 8-bit indices.
std::uint8_t PackedIndex(const std::uint8_t* row, std::uint32_t x, std::uint32_t bpp) {
    switch (bpp) {
    case 8:
        return row[x];
    case 4:
        return (x & 1) ? row[x >> 1] & 0x0f : row[x >> 1] >> 4;
    case 2:
        return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    default:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

bool DecodeUncompressed(std::span<const std::uint8_t> pixels, const BmpHeader& h,
                        std::uint32_t colors, CxImage& image) {
    const auto width = static_cast<std::uint32_t>(h.width);
    const auto height = image.Height();
    const std::size_t stride = CxImage::RowBytes(width, h.bpp);
    if (pixels.size() / stride < height) {
        return Fail(image, "BMP: file is truncated");
    }
    const Channel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]), alpha(h.masks[3]);
    if (h.masks[3] != 0) {
        image.AlphaCreate();
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t dst = h.height < 0 ? height - 1 - y : y;
        const std::uint8_t* row = pixels.data() + stride * y;
        if (h.bpp <= 8) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const std::uint8_t index = PackedIndex(row, x, h.bpp);
                if (index >= colors) {
                    return Fail(image, "BMP: pixel index outside the palette");
                }
                image.SetPixelIndex(x, dst, index);
            }
            continue;
        }
        std::uint8_t* out = image.GetBits(dst);
        if (h.bpp == 24) {
            std::copy(row, row + std::size_t{width} * 3, out);
            continue;
        }
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t px =
                h.bpp == 16 ? std::uint32_t{row[2 * x]} | (std::uint32_t{row[2 * x + 1]} << 8)
                            : std::uint32_t{row[4 * x]} | (std::uint32_t{row[4 * x + 1]} << 8) |
                                  (std::uint32_t{row[4 * x + 2]} << 16) |
                                  (std::uint32_t{row[4 * x + 3]} << 24);
            out[3 * x] = blue.Get(px);
            out[3 * x + 1] = green.Get(px);
            out[3 * x + 2] = red.Get(px);
            if (alpha.bits) {
                image.AlphaSet(x, dst, alpha.Get(px));
            }
        }
    }
    return true;
}

// Run-length coded 4- and 8-bit pixels. Runs that leave the picture are
// errors; pixels the data never reaches stay at index 0.
bool DecodeRle(std::span<const std::uint8_t> data, const BmpHeader& h, std::uint32_t colors,
               CxImage& image) {
    ByteReader r(data);
    const std::int64_t width = h.width;
    const std::int64_t height = image.Height();
    const bool four = h.compression == kRle4;
    std::int64_t x = 0;
    std::int64_t y = 0;
    auto put = [&](std::uint8_t index) {
        if (x >= width || y >= height || index >= colors) {
            return false;
        }
        image.SetPixelIndex(x++, y, index);
        return true;
    };
    while (y < height) {
        const std::uint8_t count = r.U8();
        const std::uint8_t value = r.U8();
        if (!r.Ok()) {
            return Fail(image, "BMP: file is truncated");
        }
        if (count > 0) {
            for (int i = 0; i < count; ++i) {
                const std::uint8_t index = four ? ((i & 1) ? value & 0x0f : value >> 4) : value;
                if (!put(index)) {
                    return Fail(image, "BMP: run-length data leaves the picture");
                }
            }
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            return true;
        } else if (value == 2) { // delta
            x += r.U8();
            y += r.U8();
            if (!r.Ok() || x > width || y > height) {
                return Fail(image, "BMP: run-length delta leaves the picture");
            }
        } else { // absolute run of `value` pixels, padded to a 16-bit boundary
            const std::size_t bytes = four ? (value + 1u) / 2 : value;
            auto literal = r.Bytes(bytes);
            r.Skip(bytes & 1);
            if (!r.Ok()) {
                return Fail(image, "BMP: file is truncated");
            }
            for (int i = 0; i < value; ++i) {
                const std::uint8_t b = literal[four ? i / 2 : i];
                const std::uint8_t index = four ? ((i & 1) ? b & 0x0f : b >> 4) : b;
                if (!put(index)) {
                    return Fail(image, "BMP: run-length data leaves the picture");
                }
            }
        }
    }
    return true;
}

bool DecodeEmbedded(std::span<const std::uint8_t> data, const BmpHeader& h, CxImage& image) {
    CxImage inner;
    const bool ok =
        h.compression == kJpeg ? CxImageJPG::Decode(data, inner) : CxImagePNG::Decode(data, inner);
    if (!ok) {
        return Fail(image, "BMP: embedded picture cannot be decoded");
    }
    image = std::move(inner);
    return true;
}

} // namespace

bool CxImageBMP::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    ByteReader r(data);
    if (r.U8() != 'B' || r.U8() != 'M') {
        return Fail(image, "BMP: not a bitmap file");
    }
    BmpHeader h;
    r.U32LE(); // file size; often wrong and never needed
    r.U32LE();
    h.offBits = r.U32LE();
    if (!ReadInfoHeader(r, h)) {
        return Fail(image, r.Ok() ? "BMP: unknown header size" : "BMP: file is truncated");
    }
    if (h.offBits < r.Position() || h.offBits > data.size()) {
        return Fail(image, "BMP: pixel data offset outside the file");
    }
    auto pixels = data.subspan(h.offBits);
    CxImage out;
    out.SetType(imaging::kFormatBmp);
    if (h.compression == kJpeg || h.compression == kPng) {
        if (!DecodeEmbedded(pixels, h, out)) {
            return Fail(image, out.GetLastError().c_str());
        }
        out.SetType(imaging::kFormatBmp);
        image = std::move(out);
        return true;
    }
    if (const char* error = Validate(h)) {
        return Fail(image, error);
    }
    const auto height = static_cast<std::uint32_t>(h.height < 0 ? -h.height : h.height);
    // Uncompressed rows must all be there; refuse before allocating for them.
    if (h.compression != kRle8 && h.compression != kRle4 &&
        pixels.size() / CxImage::RowBytes(static_cast<std::uint32_t>(h.width), h.bpp) < height) {
        return Fail(image, "BMP: file is truncated");
    }
    if (!out.Create(static_cast<std::uint32_t>(h.width), height, h.bpp > 8 ? 24 : h.bpp,
                    imaging::kFormatBmp)) {
        return Fail(image, out.GetLastError().c_str());
    }
    std::uint32_t colors = 0;
    if (h.bpp <= 8) {
        if (!ReadPalette(r, h, out)) {
            return Fail(image, "BMP: file is truncated");
        }
        colors = h.clrUsed ? std::min(h.clrUsed, 1u << h.bpp) : 1u << h.bpp;
        colors = std::min(colors, out.GetNumColors());
    }
    const bool ok = h.compression == kRle8 || h.compression == kRle4
                        ? DecodeRle(pixels, h, colors, out)
                        : DecodeUncompressed(pixels, h, colors, out);
    if (!ok) {
        return Fail(image, out.GetLastError().c_str());
    }
    if (h.xPelsPerMeter > 0) {
        out.SetXDPI(static_cast<std::int32_t>((h.xPelsPerMeter * 254LL + 5000) / 10000));
    }
    if (h.yPelsPerMeter > 0) {
        out.SetYDPI(static_cast<std::int32_t>((h.yPelsPerMeter * 254LL + 5000) / 10000));
    }
    image = std::move(out);
    return true;
}

bool CxImageBMP::Encode(const CxImage& image, std::vector<std::uint8_t>& out, std::string& error) {
    if (!image.IsValid()) {
        error = "BMP: no picture to write";
        return false;
    }
    const std::uint32_t colors = image.GetNumColors();
    const std::size_t pixelBytes = image.GetEffWidth() * image.Height();
    const std::size_t offBits = 14 + 40 + std::size_t{colors} * 4;
    if (offBits + pixelBytes > 0xffffffffu) {
        error = "BMP: picture too large for the format";
        return false;
    }
    out.clear();
    out.reserve(offBits + pixelBytes);
    auto u16 = [&](std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto u32 = [&](std::uint32_t v) {
        u16(v & 0xffff);
        u16(v >> 16);
    };
    out.push_back('B');
    out.push_back('M');
    u32(static_cast<std::uint32_t>(offBits + pixelBytes));
    u32(0);
    u32(static_cast<std::uint32_t>(offBits));
    const BitmapInfoHeader& head = image.GetHeader();
    u32(40);
    u32(static_cast<std::uint32_t>(head.width));
    u32(static_cast<std::uint32_t>(head.height));
    u16(1);
    u16(head.bitCount);
    u32(kRgb);
    u32(static_cast<std::uint32_t>(pixelBytes));
    u32(static_cast<std::uint32_t>(head.xPelsPerMeter));
    u32(static_cast<std::uint32_t>(head.yPelsPerMeter));
    u32(colors);
    u32(0);
    for (const RgbQuad& c : image.GetPalette()) {
        out.insert(out.end(), {c.blue, c.green, c.red, 0});
    }
    const std::uint8_t* bits = image.GetBits(0);
    out.insert(out.end(), bits, bits + pixelBytes);
    return true;
}
