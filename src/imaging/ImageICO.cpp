#include "imaging/ImageICO.h"

#include "imaging/ByteReader.h"
#include "imaging/ImageBMP.h"
#include "imaging/ImagePNG.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

using imaging::ByteReader;

constexpr std::size_t kEntryBytes = 16;
constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

struct IconEntry {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bpp = 0;
    std::uint32_t bytes = 0;
    std::uint32_t offset = 0;
};

bool Fail(CxImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// The directory entry to show: the largest, then the deepest, then the first.
bool PickEntry(ByteReader& r, std::uint32_t count, IconEntry& best) {
    bool found = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        IconEntry e;
        const std::uint8_t w = r.U8();
        const std::uint8_t h = r.U8();
        r.U8();    // colour count
        r.U8();    // reserved
        r.U16LE(); // planes, or the cursor's hot spot
        e.bpp = r.U16LE();
        e.bytes = r.U32LE();
        e.offset = r.U32LE();
        if (!r.Ok()) {
            return false;
        }
        e.width = w ? w : 256u;
        e.height = h ? h : 256u;
        const std::uint64_t area = std::uint64_t{e.width} * e.height;
        const std::uint64_t bestArea = std::uint64_t{best.width} * best.height;
        if (!found || area > bestArea || (area == bestArea && e.bpp > best.bpp)) {
            best = e;
            found = true;
        }
    }
    return found;
}

// An entry stored as a device-independent bitmap: the colour (XOR) bitmap
// of half the stored height followed by the 1-bit AND mask. It is handed to
// the BMP decoder behind a file header, and the mask (or, for 32-bit
// entries, the fourth byte of each pixel) becomes the alpha plane.
bool DecodeBitmapEntry(std::span<const std::uint8_t> dib, CxImage& image) {
    ByteReader r(dib);
    const std::uint32_t headerSize = r.U32LE();
    const std::int32_t width = r.I32LE();
    const std::int32_t storedHeight = r.I32LE();
    r.U16LE(); // planes
    const std::uint16_t bpp = r.U16LE();
    const std::uint32_t compression = r.U32LE();
    r.Skip(12);
    const std::uint32_t clrUsed = r.U32LE();
    if (!r.Ok()) {
        return Fail(image, "ICO: file is truncated");
    }
    if (headerSize != 40 || compression != 0) {
        return Fail(image, "ICO: unsupported icon bitmap");
    }
    if (width <= 0 || storedHeight <= 1 || storedHeight % 2 != 0 ||
        !CxImage::CheckDimensions(static_cast<std::uint32_t>(width),
                                  static_cast<std::uint32_t>(storedHeight / 2), 24)) {
        return Fail(image, "ICO: invalid dimensions");
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) {
        return Fail(image, "ICO: unsupported bit count");
    }
    const auto w = static_cast<std::uint32_t>(width);
    const auto h = static_cast<std::uint32_t>(storedHeight / 2);
    const std::uint32_t colors =
        bpp <= 8 ? (clrUsed ? std::min(clrUsed, 1u << bpp) : 1u << bpp) : 0;
    const std::size_t paletteBytes = std::size_t{colors} * 4;
    const std::size_t xorBytes = CxImage::RowBytes(w, bpp) * h;
    const std::size_t maskStride = CxImage::RowBytes(w, 1);
    if (dib.size() < headerSize + paletteBytes + xorBytes) {
        return Fail(image, "ICO: file is truncated");
    }
    std::vector<std::uint8_t> file(14);
    file[0] = 'B';
    file[1] = 'M';
    PutU32(file, 2, static_cast<std::uint32_t>(14 + dib.size()));
    PutU32(file, 10, static_cast<std::uint32_t>(14 + headerSize + paletteBytes));
    file.insert(file.end(), dib.begin(), dib.end());
    PutU32(file, 14 + 8, h);
    PutU32(file, 14 + 32, colors); // the colours used, so the palette size is plain
    CxImage out;
    if (!CxImageBMP::Decode(file, out)) {
        return Fail(image, ("ICO: " + out.GetLastError()).c_str());
    }
    const std::uint8_t* xorBits = dib.data() + headerSize + paletteBytes;
    const std::size_t xorStride = CxImage::RowBytes(w, bpp);
    bool pixelAlpha = false;
    if (bpp == 32) {
        for (std::size_t i = 3; i < xorBytes && !pixelAlpha; i += 4) {
            pixelAlpha = xorBits[i] != 0;
        }
    }
    const bool hasMask = dib.size() >= headerSize + paletteBytes + xorBytes + maskStride * h;
    const std::uint8_t* mask = xorBits + xorBytes;
    if (pixelAlpha || hasMask) {
        out.AlphaCreate();
        for (std::uint32_t y = 0; y < h; ++y) {
            for (std::uint32_t x = 0; x < w; ++x) {
                std::uint8_t a = 255;
                if (pixelAlpha) {
                    a = xorBits[y * xorStride + x * 4 + 3];
                } else if ((mask[y * maskStride + x / 8] >> (7 - x % 8)) & 1) {
                    a = 0;
                }
                out.AlphaSet(x, y, a);
            }
        }
    }
    image = std::move(out);
    return true;
}

} // namespace

bool CxImageICO::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    ByteReader r(data);
    const std::uint16_t reserved = r.U16LE();
    const std::uint16_t type = r.U16LE();
    const std::uint16_t count = r.U16LE();
    if (!r.Ok() || reserved != 0 || (type != 1 && type != 2) || count == 0) {
        return Fail(image, "ICO: not an icon file");
    }
    if (r.Remaining() < std::size_t{count} * kEntryBytes) {
        return Fail(image, "ICO: file is truncated");
    }
    IconEntry entry;
    if (!PickEntry(r, count, entry)) {
        return Fail(image, "ICO: file is truncated");
    }
    if (entry.offset < r.Position() || entry.offset >= data.size()) {
        return Fail(image, "ICO: image data outside the file");
    }
    // Writers often get the stored size wrong; the data runs to the file's end at most.
    const std::size_t bytes = std::min<std::size_t>(entry.bytes, data.size() - entry.offset);
    auto payload = data.subspan(entry.offset, bytes);
    CxImage out;
    const bool png = payload.size() >= kPngSignature.size() &&
                     std::memcmp(payload.data(), kPngSignature.data(), kPngSignature.size()) == 0;
    if (png ? !CxImagePNG::Decode(payload, out) : !DecodeBitmapEntry(payload, out)) {
        const std::string& why = out.GetLastError();
        return Fail(image, (why.rfind("ICO:", 0) == 0 ? why : "ICO: " + why).c_str());
    }
    out.SetType(imaging::kFormatIco);
    image = std::move(out);
    return true;
}
