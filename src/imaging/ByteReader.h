#pragma once

// A bounds-checked little/big-endian reader over a byte buffer, used by the
// decoders we write ourselves. Reading past the end sets the failed flag and
// yields zeros, so a decoder can read a whole header and test Ok() once.

#include <cstddef>
#include <cstdint>
#include <span>

namespace imaging {

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : m_data(data) {}

    bool Ok() const { return !m_failed; }
    std::size_t Position() const { return m_pos; }
    std::size_t Size() const { return m_data.size(); }
    std::size_t Remaining() const { return m_pos < m_data.size() ? m_data.size() - m_pos : 0; }
    std::span<const std::uint8_t> Data() const { return m_data; }

    bool Seek(std::size_t pos) {
        if (pos > m_data.size()) {
            m_failed = true;
            return false;
        }
        m_pos = pos;
        return true;
    }
    bool Skip(std::size_t count) {
        if (count > Remaining()) {
            m_failed = true;
            m_pos = m_data.size();
            return false;
        }
        m_pos += count;
        return true;
    }
    std::uint8_t U8() {
        if (m_pos >= m_data.size()) {
            m_failed = true;
            return 0;
        }
        return m_data[m_pos++];
    }
    std::uint16_t U16LE() {
        const std::uint16_t lo = U8();
        return static_cast<std::uint16_t>(lo | (U8() << 8));
    }
    std::uint32_t U32LE() {
        const std::uint32_t lo = U16LE();
        return lo | (static_cast<std::uint32_t>(U16LE()) << 16);
    }
    std::int32_t I32LE() { return static_cast<std::int32_t>(U32LE()); }
    std::int16_t I16LE() { return static_cast<std::int16_t>(U16LE()); }
    std::uint16_t U16BE() {
        const std::uint16_t hi = U8();
        return static_cast<std::uint16_t>((hi << 8) | U8());
    }
    std::uint32_t U32BE() {
        const std::uint32_t hi = U16BE();
        return (hi << 16) | U16BE();
    }
    // The next `count` bytes, or an empty span (and failure) when fewer remain.
    std::span<const std::uint8_t> Bytes(std::size_t count) {
        if (count > Remaining()) {
            m_failed = true;
            m_pos = m_data.size();
            return {};
        }
        auto out = m_data.subspan(m_pos, count);
        m_pos += count;
        return out;
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    bool m_failed = false;
};

} // namespace imaging
