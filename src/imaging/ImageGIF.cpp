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

// The logical screen: the picture's size, background and global colours.
struct Screen {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint8_t background = 0;
    std::vector<RgbQuad> colors;
};

// The first image of the file with what applies to it.
struct FirstImage {
    Frame frame;
    int transparent = -1;
    int minCodeSize = 0;
    std::vector<std::uint8_t> lzw;
};

const char* ReadScreen(ByteReader& r, Screen& screen) {
    auto signature = r.Bytes(6);
    if (!r.Ok() || !std::equal(signature.begin(), signature.begin() + 3, "GIF") ||
        signature[3] != '8' || (signature[4] != '7' && signature[4] != '9') ||
        signature[5] != 'a') {
        return "GIF: not a GIF file";
    }
    screen.width = r.U16LE();
    screen.height = r.U16LE();
    const std::uint8_t packed = r.U8();
    screen.background = r.U8();
    r.U8(); // aspect ratio
    if (packed & 0x80) {
        screen.colors = ReadColorTable(r, packed & 7);
    }
    if (!r.Ok()) {
        return "GIF: file is truncated";
    }
    if (screen.width == 0 || screen.height == 0) {
        return "GIF: zero picture size";
    }
    return nullptr;
}

// Skips extensions (keeping the graphic control's transparent index) up to
// the first image descriptor and reads that image.
const char* ReadFirstImage(ByteReader& r, FirstImage& first) {
    for (;;) {
        const std::uint8_t block = r.U8();
        if (!r.Ok() || block == 0x3b) {
            return "GIF: no image in the file";
        }
        if (block == 0x21) {
            const std::uint8_t label = r.U8();
            if (label == 0xf9) {
                auto control = r.Bytes(r.U8());
                if (control.size() >= 4) {
                    first.transparent = (control[0] & 1) ? control[3] : -1;
                }
            }
            SkipSubBlocks(r);
            continue;
        }
        if (block != 0x2c) {
            return "GIF: unknown block";
        }
        if (!ReadFrame(r, first.frame, first.minCodeSize, first.lzw)) {
            return "GIF: file is truncated";
        }
        // Code sizes up to 11 leave room for one code of 12 bits; the
        // indices must still fall inside the colour table.
        if (first.minCodeSize < 1 || first.minCodeSize > 11) {
            return "GIF: invalid code size";
        }
        const Frame& f = first.frame;
        if (f.width && f.height && !CxImage::CheckDimensions(f.width, f.height, 8)) {
            return "GIF: frame too large";
        }
        return nullptr;
    }
}

// Fills the screen with the transparent index (or the background) and puts
// the frame's indices at the frame's place, clipped to the screen.
void Compose(const Screen& screen, const FirstImage& first,
             const std::vector<std::uint16_t>& indices, CxImage& out) {
    const std::uint32_t paletteSize = out.GetNumColors();
    const bool transparent =
        first.transparent >= 0 && static_cast<std::uint32_t>(first.transparent) < paletteSize;
    const std::uint8_t fill = transparent ? static_cast<std::uint8_t>(first.transparent)
                              : screen.background < paletteSize ? screen.background
                                                                : 0;
    // Every pixel of every row at once (the row padding does not matter).
    std::uint8_t pattern = fill;
    if (out.GetBpp() == 4) {
        pattern = static_cast<std::uint8_t>((fill << 4) | fill);
    } else if (out.GetBpp() == 1) {
        pattern = fill ? 0xff : 0x00;
    }
    std::memset(out.GetBits(0), pattern, out.GetEffWidth() * out.Height());
    const Frame& frame = first.frame;
    const std::vector<std::uint32_t> rows = RowOrder(frame.height, frame.interlaced);
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const std::uint64_t x = std::uint64_t{frame.left} + i % frame.width;
        const std::uint64_t y = std::uint64_t{frame.top} + rows[i / frame.width];
        if (x < screen.width && y < screen.height) {
            out.SetPixelIndex(static_cast<std::int64_t>(x),
                              static_cast<std::int64_t>(screen.height - 1 - y),
                              static_cast<std::uint8_t>(indices[i]));
        }
    }
    if (transparent) {
        out.SetTransIndex(first.transparent);
    }
    if (screen.background < paletteSize) {
        out.SetBkColor(out.GetPaletteColor(screen.background));
    }
}

} // namespace

bool CxImageGIF::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    ByteReader r(data);
    Screen screen;
    FirstImage first;
    if (const char* error = ReadScreen(r, screen)) {
        return Fail(image, error);
    }
    if (const char* error = ReadFirstImage(r, first)) {
        return Fail(image, error);
    }
    const std::vector<RgbQuad>& colors =
        first.frame.colors.empty() ? screen.colors : first.frame.colors;
    CxImage out;
    const int bits = colors.empty() ? 8 : std::countr_zero(colors.size());
    if (!out.Create(screen.width, screen.height, static_cast<std::uint32_t>(bits),
                    imaging::kFormatGif)) {
        return Fail(image, out.GetLastError().c_str());
    }
    if (colors.empty()) {
        out.SetGrayPalette();
    } else {
        out.SetPalette(colors);
    }
    std::vector<std::uint16_t> indices;
    if (!DecodeLzw(first.lzw, first.minCodeSize,
                   std::size_t{first.frame.width} * first.frame.height, indices)) {
        return Fail(image, "GIF: corrupt image data");
    }
    const std::size_t tableSize = colors.empty() ? out.GetNumColors() : colors.size();
    if (std::any_of(indices.begin(), indices.end(),
                    [&](std::uint16_t i) { return i >= tableSize; })) {
        return Fail(image, "GIF: pixel index outside the colour table");
    }
    Compose(screen, first, indices, out);
    image = std::move(out);
    return true;
}
