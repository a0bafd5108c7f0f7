#include "imaging/ImagePCX.h"

#include "imaging/ByteReader.h"

#include <array>
#include <vector>

namespace {

using imaging::ByteReader;

constexpr std::size_t kHeaderBytes = 128;
constexpr std::size_t kVgaPaletteBytes = 769; // 0x0C and 256 RGB triples

struct PcxHeader {
    std::uint8_t version = 0;
    std::uint8_t encoding = 0;
    std::uint8_t bpp = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t hDpi = 0;
    std::uint16_t vDpi = 0;
    std::array<RgbQuad, 16> ega{};
    std::uint8_t planes = 0;
    std::uint16_t bytesPerLine = 0;
};

bool Fail(CxImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

bool ReadHeader(ByteReader& r, PcxHeader& h, const char*& error) {
    const std::uint8_t manufacturer = r.U8();
    const std::uint8_t version = h.version = r.U8();
    h.encoding = r.U8();
    h.bpp = r.U8();
    const std::uint16_t xMin = r.U16LE();
    const std::uint16_t yMin = r.U16LE();
    const std::uint16_t xMax = r.U16LE();
    const std::uint16_t yMax = r.U16LE();
    h.hDpi = r.U16LE();
    h.vDpi = r.U16LE();
    for (RgbQuad& c : h.ega) {
        c.red = r.U8();
        c.green = r.U8();
        c.blue = r.U8();
    }
    r.U8(); // reserved
    h.planes = r.U8();
    h.bytesPerLine = r.U16LE();
    r.Seek(kHeaderBytes);
    if (!r.Ok()) {
        error = "PCX: file is truncated";
        return false;
    }
    if (manufacturer != 0x0a || version > 5 || version == 1 || h.encoding > 1) {
        error = "PCX: not a PCX file";
        return false;
    }
    const bool planar1 = h.bpp == 1 && h.planes >= 1 && h.planes <= 4;
    const bool packed = (h.bpp == 2 || h.bpp == 4 || h.bpp == 8) && h.planes == 1;
    const bool rgb = h.bpp == 8 && (h.planes == 3 || h.planes == 4);
    if (!planar1 && !packed && !rgb) {
        error = "PCX: unsupported bit depth";
        return false;
    }
    if (xMax < xMin || yMax < yMin) {
        error = "PCX: invalid dimensions";
        return false;
    }
    h.width = xMax - xMin + 1u;
    h.height = yMax - yMin + 1u;
    if (h.bytesPerLine < (std::size_t{h.width} * h.bpp + 7) / 8) {
        error = "PCX: line length too short for the width";
        return false;
    }
    if (!CxImage::CheckDimensions(h.width, h.height, rgb ? 24 : 8)) {
        error = "PCX: dimensions too large";
        return false;
    }
    return true;
}

// The scan lines, decoded: height × planes × bytesPerLine bytes.
bool ReadScanLines(ByteReader& r, const PcxHeader& h, std::size_t limit,
                   std::vector<std::uint8_t>& out) {
    const std::size_t total = std::size_t{h.height} * h.planes * h.bytesPerLine;
    if (h.encoding == 0) {
        auto raw = r.Bytes(total);
        out.assign(raw.begin(), raw.end());
        return r.Ok();
    }
    // A run codes at most 63 bytes in two, so a shorter stream cannot fill it.
    if ((limit - r.Position()) * 63 / 2 + 63 < total) {
        return false;
    }
    out.clear();
    out.reserve(total);
    while (out.size() < total) {
        if (r.Position() >= limit) {
            return false;
        }
        const std::uint8_t b = r.U8();
        if ((b & 0xc0) == 0xc0) {
            if (r.Position() >= limit) {
                return false;
            }
            const std::uint8_t value = r.U8();
            const std::size_t count = std::min<std::size_t>(b & 0x3f, total - out.size());
            out.insert(out.end(), count, value);
        } else {
            out.push_back(b);
        }
    }
    return r.Ok();
}

std::uint32_t Bit(const std::uint8_t* line, std::uint32_t x, std::uint32_t bpp) {
    const std::uint32_t bit = x * bpp;
    return (line[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
}

} // namespace

bool CxImagePCX::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    ByteReader r(data);
    PcxHeader h;
    const char* error = nullptr;
    if (!ReadHeader(r, h, error)) {
        return Fail(image, error);
    }
    const bool rgb = h.planes >= 3 && h.bpp == 8;
    const std::uint32_t bits = rgb ? 24 : std::uint32_t{h.bpp} * h.planes;
    // 256-colour pictures keep their palette in the last 769 bytes.
    const bool vga = bits == 8 && data.size() >= kHeaderBytes + kVgaPaletteBytes &&
                     data[data.size() - kVgaPaletteBytes] == 0x0c;
    if (bits == 8 && h.version == 5 && !vga) {
        return Fail(image, "PCX: the 256-colour palette is missing");
    }
    const std::size_t limit = vga ? data.size() - kVgaPaletteBytes : data.size();
    std::vector<std::uint8_t> lines;
    if (!ReadScanLines(r, h, limit, lines)) {
        return Fail(image, "PCX: file is truncated");
    }
    CxImage out;
    if (!out.Create(h.width, h.height, bits, imaging::kFormatPcx)) {
        return Fail(image, out.GetLastError().c_str());
    }
    if (bits == 8) {
        std::vector<RgbQuad> palette(256);
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint8_t* p = data.data() + data.size() - 768 + i * 3;
            palette[i] = vga ? MakeRgb(p[0], p[1], p[2])
                             : MakeRgb(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i),
                                       static_cast<std::uint8_t>(i));
        }
        out.SetPalette(palette);
    } else if (bits == 1 && h.ega[0] == h.ega[1]) {
        const RgbQuad bw[2] = {MakeRgb(0, 0, 0), MakeRgb(255, 255, 255)};
        out.SetPalette(bw);
    } else if (bits < 8) {
        out.SetPalette(h.ega);
    }
    if (h.planes == 4 && rgb) {
        out.AlphaCreate();
    }
    const std::size_t bpl = h.bytesPerLine;
    for (std::uint32_t row = 0; row < h.height; ++row) {
        const std::uint32_t y = h.height - 1 - row;
        const std::uint8_t* line = lines.data() + std::size_t{row} * h.planes * bpl;
        std::uint8_t* dst = out.GetBits(y);
        for (std::uint32_t x = 0; x < h.width; ++x) {
            if (rgb) {
                dst[x * 3] = line[2 * bpl + x];
                dst[x * 3 + 1] = line[bpl + x];
                dst[x * 3 + 2] = line[x];
                if (h.planes == 4) {
                    out.AlphaSet(x, y, line[3 * bpl + x]);
                }
                continue;
            }
            std::uint32_t index = 0;
            if (h.planes == 1) {
                index = Bit(line, x, h.bpp);
            } else {
                for (std::uint32_t p = 0; p < h.planes; ++p) {
                    index |= Bit(line + p * bpl, x, 1) << p;
                }
            }
            out.SetPixelIndex(x, y, static_cast<std::uint8_t>(index));
        }
    }
    if (h.hDpi > 0 && h.vDpi > 0) {
        out.SetXDPI(h.hDpi);
        out.SetYDPI(h.vDpi);
    }
    image = std::move(out);
    return true;
}
