#include "online/XmlText.h"

#include <cstdint>

namespace online {
namespace {

std::string Escape(std::string_view text, bool quotes) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '<':
            out += "&lt;";
            break;
        case '&':
            out += "&amp;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\'':
            quotes ? out += "&apos;" : out += c;
            break;
        case '"':
            quotes ? out += "&quot;" : out += c;
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool AppendUtf8(std::string& out, std::uint32_t code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return false;
    }
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return true;
}

int DigitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (hex && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (hex && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A character reference at text[amp]; returns the offset after its ";" or 0.
std::size_t NumericReference(std::string_view text, std::size_t amp, std::string& out) {
    const bool hex = amp + 2 < text.size() && text[amp + 2] == 'x';
    const std::size_t digits = amp + (hex ? 3 : 2);
    const std::size_t semicolon = text.find(';', digits);
    if (semicolon == std::string_view::npos || semicolon - digits > 7) {
        return 0;
    }
    std::uint32_t code = 0;
    for (std::size_t i = digits; i < semicolon; ++i) {
        const int digit = DigitValue(text[i], hex);
        if (digit < 0) {
            break; // the number ends here; what follows up to ";" is ignored
        }
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
    }
    // Code points that UTF-8 cannot carry stay as written, like zero.
    return AppendUtf8(out, code) ? semicolon + 1 : 0;
}

struct NamedReference {
    std::string_view name; // without "&"
    char character;
};
constexpr NamedReference kNamedReferences[] = {
    {"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"apos;", '\''}, {"quot;", '"'}};

} // namespace

std::string XmlEscapeText(std::string_view text) {
    return Escape(text, false);
}

std::string XmlEscapeAttribute(std::string_view text) {
    return Escape(text, true);
}

std::string XmlUnescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t amp = text.find('&', pos);
        if (amp == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, amp - pos));
        pos = amp + 1;
        if (amp + 1 < text.size() && text[amp + 1] == '#') {
            if (std::size_t after = NumericReference(text, amp, out)) {
                pos = after;
                continue;
            }
        } else {
            const std::string_view rest = text.substr(amp + 1);
            bool matched = false;
            for (const auto& reference : kNamedReferences) {
                if (rest.starts_with(reference.name)) {
                    out += reference.character;
                    pos = amp + 1 + reference.name.size();
                    matched = true;
                    break;
                }
            }
            if (matched) {
                continue;
            }
        }
        out += '&';
    }
    return out;
}

std::string XmlCData(std::string_view value) {
    std::string out = "<![CDATA[";
    std::size_t pos = 0;
    while (true) {
        const std::size_t split = value.find("]]>", pos);
        if (split == std::string_view::npos) {
            out.append(value.substr(pos));
            break;
        }
        out.append(value.substr(pos, split - pos));
        out += "]]]]><![CDATA[>";
        pos = split + 3;
    }
    out += "]]>";
    return out;
}

std::size_t Utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if ((u & 0xC0) != 0x80) {
            ++units; // an ASCII byte or the lead byte of a sequence
        }
        if (u >= 0xF0 && u <= 0xF4) {
            ++units; // beyond the basic plane: a surrogate pair
        }
    }
    return units;
}

} // namespace online
