#pragma once

// Escaping and unescaping of XML text, and the UTF-16 length of UTF-8 text.
// Plain functions; any thread.

#include <cstddef>
#include <string>
#include <string_view>

namespace online {

// "<", "&" and ">" as references.
std::string XmlEscapeText(std::string_view text);
// As XmlEscapeText, and both quotes.
std::string XmlEscapeAttribute(std::string_view text);
// The five named references, and decimal or hexadecimal character references
// with at most seven characters before their ";" and a non-zero value.
// Everything else that starts with "&" is kept as it stands.
std::string XmlUnescape(std::string_view text);
// The value as CDATA; "]]>" inside it is split over two sections.
std::string XmlCData(std::string_view value);

// UTF-16 code units of UTF-8 text: one per sequence, two beyond the basic plane.
std::size_t Utf16Length(std::string_view utf8);

} // namespace online
