#include "imaging/ImageGIF.h"

#include "imaging/ByteReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

// The first frame of a GIF87a/GIF89a file, decoded with our own LZW
// decoder. The picture has the logical screen's size; the frame is placed
// at its position (clipped to the screen) over the background, or over the
// transparent index when the frame has one.

namespace {

using imaging::ByteReader;

constexpr int kMaxCodes = 4096;

struct Frame {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool interlaced = false;
    std::vector<RgbQuad> colors;
};

bool Fail(CxImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

std::vector<RgbQuad> ReadColorTable(ByteReader& r, int sizeBits) {
    std::vector<RgbQuad> colors(std::size_t{2} << sizeBits);
    for (auto& c : colors) {
        c.red = r.U8();
        c.green = r.U8();
        c.blue = r.U8();
    }
    return colors;
}

// The data sub-blocks that follow an image descriptor, joined.
std::vector<std::uint8_t> ReadSubBlocks(ByteReader& r) {
    std::vector<std::uint8_t> out;
    for (;;) {
        const std::uint8_t length = r.U8();
        if (!r.Ok() || length == 0) {
            return out;
        }
        auto block = r.Bytes(length);
        out.insert(out.end(), block.begin(), block.end());
        if (!r.Ok()) {
            return out;
        }
    }
}

void SkipSubBlocks(ByteReader& r) {
    for (;;) {
        const std::uint8_t length = r.U8();
        if (!r.Ok() || length == 0 || !r.Skip(length)) {
            return;
        }
    }
}

// Decodes up to `count` indices. Returns false for a broken code stream
// (a code that is neither in the table nor the next one to be made);
// running out of data early just leaves the rest of the frame unset.
bool DecodeLzw(std::span<const std::uint8_t> data, int minCodeSize, std::size_t count,
               std::vector<std::uint16_t>& out) {
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint16_t, kMaxCodes> suffix{};
    std::array<std::uint16_t, kMaxCodes> first{};
    std::array<std::uint16_t, kMaxCodes + 1> stack{};
    for (int i = 0; i < clear; ++i) {
        suffix[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(i);
        first[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(i);
    }
    int codeSize = minCodeSize + 1;
    int next = clear + 2;
    int previous = -1;
    std::uint32_t bits = 0;
    int bitCount = 0;
    std::size_t pos = 0;
    out.clear();
    out.reserve(std::min<std::size_t>(count, std::size_t{1} << 20));
    while (out.size() < count) {
        while (bitCount < codeSize && pos < data.size()) {
            bits |= std::uint32_t{data[pos++]} << bitCount;
            bitCount += 8;
        }
        if (bitCount < codeSize) {
            return true;
        }
        const int code = static_cast<int>(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        bitCount -= codeSize;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == end) {
            return true;
        }
        if (previous < 0) {
            if (code >= clear) {
                return false;
            }
            out.push_back(static_cast<std::uint16_t>(code));
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= kMaxCodes)) {
            return false;
        }
        // Walk the chain of the code (or of the previous code plus its first
        // byte, for the code being defined right now) onto the stack.
        int sp = 0;
        int walk = code;
        if (code == next) {
            stack[static_cast<std::size_t>(sp++)] = first[static_cast<std::size_t>(previous)];
            walk = previous;
        }
        while (walk >= clear) {
            stack[static_cast<std::size_t>(sp++)] = suffix[static_cast<std::size_t>(walk)];
            walk = prefix[static_cast<std::size_t>(walk)];
        }
        stack[static_cast<std::size_t>(sp++)] = static_cast<std::uint16_t>(walk);
        while (sp > 0 && out.size() < count) {
            out.push_back(stack[static_cast<std::size_t>(--sp)]);
        }
        if (next < kMaxCodes) {
            prefix[static_cast<std::size_t>(next)] = static_cast<std::uint16_t>(previous);
            suffix[static_cast<std::size_t>(next)] = static_cast<std::uint16_t>(walk);
            first[static_cast<std::size_t>(next)] = first[static_cast<std::size_t>(previous)];
            ++next;
            if (next == (1 << codeSize) && codeSize < 12) {
                ++codeSize;
            }
        }
        previous = code;
    }
    return true;
}

// Rows of an interlaced frame come in four passes.
std::vector<std::uint32_t> RowOrder(std::uint32_t height, bool interlaced) {
    std::vector<std::uint32_t> order;
    order.reserve(height);
    if (!interlaced) {
        for (std::uint32_t y = 0; y < height; ++y) {
            order.push_back(y);
        }
        return order;
    }
    constexpr std::uint32_t kStart[] = {0, 4, 2, 1};
    constexpr std::uint32_t kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (std::uint32_t y = kStart[pass]; y < height; y += kStep[pass]) {
            order.push_back(y);
        }
    }
    return order;
}

bool ReadFrame(ByteReader& r, Frame& frame, int& minCodeSize, std::vector<std::uint8_t>& data) {
    frame.left = r.U16LE();
    frame.top = r.U16LE();
    frame.width = r.U16LE();
    frame.height = r.U16LE();
    const std::uint8_t packed = r.U8();
    frame.interlaced = (packed & 0x40) != 0;
    if (packed & 0x80) {
        frame.colors = ReadColorTable(r, packed & 7);
    }
    minCodeSize = r.U8();
    data = ReadSubBlocks(r);
    return r.Ok();
}

} // namespace

bool CxImageGIF::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    ByteReader r(data);
    auto signature = r.Bytes(6);
    if (!r.Ok() || !std::equal(signature.begin(), signature.begin() + 3, "GIF") ||
        (signature[3] != '8' || (signature[4] != '7' && signature[4] != '9') ||
         signature[5] != 'a')) {
        return Fail(image, "GIF: not a GIF file");
    }
    const std::uint32_t screenWidth = r.U16LE();
    const std::uint32_t screenHeight = r.U16LE();
    const std::uint8_t packed = r.U8();
    const std::uint8_t background = r.U8();
    r.U8(); // aspect ratio
    std::vector<RgbQuad> globalColors;
    if (packed & 0x80) {
        globalColors = ReadColorTable(r, packed & 7);
    }
    if (!r.Ok()) {
        return Fail(image, "GIF: file is truncated");
    }
    if (screenWidth == 0 || screenHeight == 0) {
        return Fail(image, "GIF: zero picture size");
    }
    int transparent = -1;
    for (;;) {
        const std::uint8_t block = r.U8();
        if (!r.Ok() || block == 0x3b) {
            return Fail(image, "GIF: no image in the file");
        }
        if (block == 0x21) {
            const std::uint8_t label = r.U8();
            if (label == 0xf9) { // graphic control: the frame's transparent index
                auto gce = r.Bytes(r.U8());
                if (gce.size() >= 4) {
                    transparent = (gce[0] & 1) ? gce[3] : -1;
                }
            }
            SkipSubBlocks(r);
            continue;
        }
        if (block != 0x2c) {
            return Fail(image, "GIF: unknown block");
        }
        Frame frame;
        int minCodeSize = 0;
        std::vector<std::uint8_t> lzw;
        if (!ReadFrame(r, frame, minCodeSize, lzw)) {
            return Fail(image, "GIF: file is truncated");
        }
        // Code sizes up to 11 leave room for one code of 12 bits; the
        // indices must still fall inside the colour table.
        if (minCodeSize < 1 || minCodeSize > 11) {
            return Fail(image, "GIF: invalid code size");
        }
        if (frame.width && frame.height &&
            !CxImage::CheckDimensions(frame.width, frame.height, 8)) {
            return Fail(image, "GIF: frame too large");
        }
        const std::vector<RgbQuad>& colors = frame.colors.empty() ? globalColors : frame.colors;
        CxImage out;
        const int bits = colors.empty() ? 8 : std::countr_zero(colors.size());
        if (!out.Create(screenWidth, screenHeight, static_cast<std::uint32_t>(bits),
                        imaging::kFormatGif)) {
            return Fail(image, out.GetLastError().c_str());
        }
        if (colors.empty()) {
            out.SetGrayPalette();
        } else {
            out.SetPalette(colors);
        }
        const std::uint32_t paletteSize = out.GetNumColors();
        const bool hasTransparent =
            transparent >= 0 && static_cast<std::uint32_t>(transparent) < paletteSize;
        const std::uint8_t fill = hasTransparent ? static_cast<std::uint8_t>(transparent)
                                  : background < paletteSize ? background
                                                             : 0;
        // The frame's data is decoded before the screen is filled, so that a
        // broken file with a large screen fails early.
        const std::size_t count = std::size_t{frame.width} * frame.height;
        std::vector<std::uint16_t> indices;
        if (!DecodeLzw(lzw, minCodeSize, count, indices)) {
            return Fail(image, "GIF: corrupt image data");
        }
        if (fill != 0) {
            // One row set pixel by pixel, the others copied from it.
            for (std::uint32_t x = 0; x < screenWidth; ++x) {
                out.SetPixelIndex(x, 0, fill);
            }
            for (std::uint32_t y = 1; y < screenHeight; ++y) {
                std::memcpy(out.GetBits(y), out.GetBits(0), out.GetEffWidth());
            }
        }
        const std::size_t tableSize = colors.empty() ? paletteSize : colors.size();
        if (std::any_of(indices.begin(), indices.end(),
                        [&](std::uint16_t i) { return i >= tableSize; })) {
            return Fail(image, "GIF: pixel index outside the colour table");
        }
        const std::vector<std::uint32_t> rows = RowOrder(frame.height, frame.interlaced);
        for (std::size_t i = 0; i < indices.size(); ++i) {
            const std::uint32_t fx = static_cast<std::uint32_t>(i % frame.width);
            const std::uint32_t fy = rows[i / frame.width];
            const std::uint64_t x = std::uint64_t{frame.left} + fx;
            const std::uint64_t y = std::uint64_t{frame.top} + fy;
            if (x < screenWidth && y < screenHeight) {
                out.SetPixelIndex(static_cast<std::int64_t>(x),
                                  static_cast<std::int64_t>(screenHeight - 1 - y),
                                  static_cast<std::uint8_t>(indices[i]));
            }
        }
        if (hasTransparent) {
            out.SetTransIndex(transparent);
        }
        if (background < paletteSize) {
            out.SetBkColor(out.GetPaletteColor(background));
        }
        image = std::move(out);
        return true;
    }
}
