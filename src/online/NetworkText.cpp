#include "online/NetworkText.h"

namespace online {
namespace {

// Length of the valid UTF-8 sequence at text[pos], or 0.
std::size_t SequenceLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length;
    unsigned minimum;
    unsigned code;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, code = lead & 0x07;
    } else {
        return 0;
    }
    if (pos + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

} // namespace

std::string DecodeNetworkText(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t length = SequenceLength(bytes, pos);
        if (length > 0) {
            out.append(bytes.substr(pos, length));
            pos += length;
            continue;
        }
        const auto latin1 = static_cast<unsigned char>(bytes[pos++]);
        out += static_cast<char>(0xC0 | (latin1 >> 6));
        out += static_cast<char>(0x80 | (latin1 & 0x3F));
    }
    return out;
}

} // namespace online
