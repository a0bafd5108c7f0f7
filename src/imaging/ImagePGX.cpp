#include "imaging/ImagePGX.h"

#include "imaging/ByteReader.h"

#include <cctype>

namespace {

using imaging::ByteReader;

bool Fail(CxImage& image, const char* text) {
    image.SetLastError(text);
    return false;
}

// The header line: "PG", the byte order ("ML" big-endian, "LM"
// little-endian), an optional sign ('+' unsigned, '-' signed), the bit
// depth (1 to 32), the width and the height, then one line break.
struct PgxHeader {
    bool bigEndian = true;
    bool isSigned = false;
    std::uint32_t depth = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t dataStart = 0;
};

class HeaderParser {
public:
    explicit HeaderParser(std::span<const std::uint8_t> data) : m_data(data) {}

    bool Parse(PgxHeader& h) {
        if (!Literal('P') || !Literal('G') || !Blanks(true)) {
            return false;
        }
        if (Literal('M') && Literal('L')) {
            h.bigEndian = true;
        } else if (Literal('L') && Literal('M')) {
            h.bigEndian = false;
        } else {
            return false;
        }
        Blanks(false);
        if (Literal('-')) {
            h.isSigned = true;
        } else {
            Literal('+');
        }
        Blanks(false);
        if (!Number(h.depth) || !Blanks(true) || !Number(h.width) || !Blanks(true) ||
            !Number(h.height)) {
            return false;
        }
        while (m_pos < m_data.size() && (m_data[m_pos] == ' ' || m_data[m_pos] == '\t')) {
            ++m_pos;
        }
        if (Literal('\r')) {
            Literal('\n');
        } else if (!Literal('\n')) {
            return false;
        }
        h.dataStart = m_pos;
        return true;
    }

private:
    bool Literal(char c) {
        if (m_pos < m_data.size() && m_data[m_pos] == static_cast<std::uint8_t>(c)) {
            ++m_pos;
            return true;
        }
        return false;
    }
    bool Blanks(bool required) {
        const std::size_t start = m_pos;
        while (m_pos < m_data.size() && (m_data[m_pos] == ' ' || m_data[m_pos] == '\t')) {
            ++m_pos;
        }
        return !required || m_pos > start;
    }
    bool Number(std::uint32_t& value) {
        std::uint64_t v = 0;
        const std::size_t start = m_pos;
        while (m_pos < m_data.size() && std::isdigit(m_data[m_pos]) && m_pos - start < 10) {
            v = v * 10 + (m_data[m_pos++] - '0');
        }
        if (m_pos == start || v > 0x7fffffff) {
            return false;
        }
        value = static_cast<std::uint32_t>(v);
        return true;
    }

    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
};

} // namespace

bool CxImagePGX::Decode(std::span<const std::uint8_t> data, CxImage& image) {
    PgxHeader h;
    if (!HeaderParser(data).Parse(h)) {
        return Fail(image, "PGX: not a PGX file");
    }
    if (h.depth == 0 || h.depth > 32) {
        return Fail(image, "PGX: unsupported bit depth");
    }
    if (h.width == 0 || h.height == 0 || !CxImage::CheckDimensions(h.width, h.height, 8)) {
        return Fail(image, "PGX: invalid dimensions");
    }
    const std::size_t sampleBytes = h.depth <= 8 ? 1 : (h.depth <= 16 ? 2 : 4);
    ByteReader r(data);
    r.Seek(h.dataStart);
    if (r.Remaining() / sampleBytes / h.width < h.height) {
        return Fail(image, "PGX: file is truncated");
    }
    CxImage out;
    if (!out.Create(h.width, h.height, 8, imaging::kFormatPgx)) {
        return Fail(image, out.GetLastError().c_str());
    }
    const std::uint64_t range = (std::uint64_t{1} << h.depth) - 1;
    const std::uint64_t mask = range;
    for (std::uint32_t row = 0; row < h.height; ++row) {
        std::uint8_t* dst = out.GetBits(h.height - 1 - row);
        for (std::uint32_t x = 0; x < h.width; ++x) {
            std::uint64_t v = 0;
            for (std::size_t i = 0; i < sampleBytes; ++i) {
                const std::uint64_t b = r.U8();
                v |= h.bigEndian ? b << (8 * (sampleBytes - 1 - i)) : b << (8 * i);
            }
            v &= mask;
            if (h.isSigned) {
                // Two's complement of `depth` bits, shifted so that the most
                // negative value is black.
                v = (v + (std::uint64_t{1} << (h.depth - 1))) & mask;
            }
            dst[x] = static_cast<std::uint8_t>((v * 255 + range / 2) / range);
        }
    }
    image = std::move(out);
    return true;
}
