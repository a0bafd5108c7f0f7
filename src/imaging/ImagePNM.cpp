#include "imaging/ImagePNM.h"

#include "imaging/ByteReader.h"

#include <algorithm>
#include <cctype>

namespace {

using imaging::ByteReader;

bool Fail(CxImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

bool IsSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the text fields of the header and the ASCII samples: skips blanks
// and comments (from '#' to the end of the line), then reads a decimal
// number no larger than `max`.
class TextReader {
public:
    explicit TextReader(std::span<const std::uint8_t> data) : m_data(data) {}

    bool Number(std::uint32_t max, std::uint32_t& value) {
        SkipBlanks();
        if (m_pos >= m_data.size() || !std::isdigit(m_data[m_pos])) {
            return false;
        }
        std::uint64_t v = 0;
        while (m_pos < m_data.size() && std::isdigit(m_data[m_pos])) {
            v = v * 10 + (m_data[m_pos++] - '0');
            if (v > max) {
                return false;
            }
        }
        value = static_cast<std::uint32_t>(v);
        return true;
    }
    // A plain bitmap's sample: a single 0 or 1, not necessarily separated.
    bool Bit(std::uint32_t& value) {
        SkipBlanks();
        if (m_pos >= m_data.size() || (m_data[m_pos] != '0' && m_data[m_pos] != '1')) {
            return false;
        }
        value = m_data[m_pos++] - '0';
        return true;
    }
    // After the last header field exactly one blank separates the samples.
    bool EndHeader() {
        if (m_pos >= m_data.size() || !IsSpace(m_data[m_pos])) {
            return false;
        }
        ++m_pos;
        return true;
    }
    std::size_t Position() const { return m_pos; }
    void SetPosition(std::size_t pos) { m_pos = pos; }

private:
    void SkipBlanks() {
        while (m_pos < m_data.size()) {
            if (m_data[m_pos] == '#') {
                while (m_pos < m_data.size() && m_data[m_pos] != '\n' && m_data[m_pos] != '\r') {
                    ++m_pos;
                }
            } else if (IsSpace(m_data[m_pos])) {
                ++m_pos;
            } else {
                return;
            }
        }
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

std::uint8_t Scale(std::uint32_t v, std::uint32_t maxVal) {
    if (v >= maxVal) {
        return 255;
    }
    return static_cast<std::uint8_t>((v * 255 + maxVal / 2) / maxVal);
}

} // namespace

bool CxImagePNM::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    if (data.size() < 3 || data[0] != 'P' || data[1] < '1' || data[1] > '6' || !IsSpace(data[2])) {
        return Fail(image, "PNM: not a portable anymap");
    }
    const int kind = data[1] - '0';
    const bool binary = kind >= 4;
    const bool bitmap = kind == 1 || kind == 4;
    const bool color = kind == 3 || kind == 6;
    TextReader text(data);
    text.SetPosition(2);
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t maxVal = 1;
    if (!text.Number(0x7fffffff, width) || !text.Number(0x7fffffff, height) ||
        (!bitmap && !text.Number(65535, maxVal))) {
        return Fail(image, "PNM: invalid header");
    }
    if (width == 0 || height == 0 || maxVal == 0) {
        return Fail(image, "PNM: invalid dimensions");
    }
    const std::uint32_t bits = bitmap ? 1 : (color ? 24 : 8);
    if (!CxImage::CheckDimensions(width, height, bits)) {
        return Fail(image, "PNM: dimensions too large");
    }
    if (binary && !text.EndHeader()) {
        return Fail(image, "PNM: invalid header");
    }
    const std::uint32_t channels = color ? 3 : 1;
    const std::size_t sampleBytes = maxVal > 255 ? 2 : 1;
    const std::size_t stride =
        bitmap ? (std::size_t{width} + 7) / 8 : std::size_t{width} * channels * sampleBytes;
    // Plain files take at least two bytes per sample (one for bitmaps).
    const std::size_t remaining = data.size() - text.Position();
    const std::size_t minimum =
        binary ? stride : std::size_t{width} * channels * (bitmap ? 1 : 2) - 1;
    if (remaining / std::max<std::size_t>(minimum, 1) < height) {
        return Fail(image, "PNM: file is truncated");
    }
    CxImage out;
    if (!out.Create(width, height, bits, imaging::kFormatPnm)) {
        return Fail(image, out.GetLastError().c_str());
    }
    if (bitmap) {
        const RgbQuad palette[2] = {MakeRgb(255, 255, 255), MakeRgb(0, 0, 0)}; // 1 is black
        out.SetPalette(palette);
    }
    ByteReader r(data);
    r.Seek(text.Position());
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint32_t y = height - 1 - row;
        std::uint8_t* dst = out.GetBits(y);
        if (bitmap && binary) {
            auto bytes = r.Bytes(stride);
            std::copy(bytes.begin(), bytes.end(), dst);
            continue;
        }
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t sample[3] = {0, 0, 0};
            for (std::uint32_t c = 0; c < channels; ++c) {
                std::uint32_t v = 0;
                if (binary) {
                    v = sampleBytes == 2 ? r.U16BE() : r.U8();
                } else if (!(bitmap ? text.Bit(v) : text.Number(65535, v))) {
                    return Fail(image, "PNM: invalid sample");
                }
                sample[c] = Scale(v, maxVal);
            }
            if (bitmap) {
                out.SetPixelIndex(x, y, static_cast<std::uint8_t>(sample[0] ? 1 : 0));
            } else if (color) {
                dst[x * 3] = sample[2];
                dst[x * 3 + 1] = sample[1];
                dst[x * 3 + 2] = sample[0];
            } else {
                dst[x] = sample[0];
            }
        }
        if (!r.Ok()) {
            return Fail(image, "PNM: file is truncated");
        }
    }
    image = std::move(out);
    return true;
}
