#include "files/ImageProperties.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace {

// An enumerated tag: its texts for the values 1 … highest (value 0 and
// values above the table read empty).
struct EnumTable {
    std::uint32_t tags[3];
    std::uint8_t lowBitsMask; // 0: the whole first byte
    std::vector<const char*> texts;
};

const std::vector<EnumTable>& EnumTables() {
    static const std::vector<EnumTable> tables = {
        {{259, 20515, 0},
         0,
         {"TIFF", "Unknown (2)", "Uncompressed", "Unknown (4)", "Unknown (5)", "Jpeg"}},
        {{262, 0, 0},
         0,
         {"Monochrome", "RGB", "Unknown (3)", "Unknown (4)", "Unknown (5)", "YCbCr"}},
        {{274, 0, 0},
         0,
         {"Normal", "Unknown (2)", "180°", "Unknown (4)", "Unknown (5)", "Ccw 90°", "Unknown (7)",
          "Cw\t90°"}},
        {{296, 20528, 41488}, 0, {"None specified", "Inch", "Centimeter"}},
        {{34850, 0, 0},
         0,
         {"Manual", "Normal", "Aperture priority", "Shutter priority", "Creative", "Action",
          "Portrait", "Landscape"}},
        {{37383, 0, 0},
         0,
         {"Average", "Center weighted", "Spot", "Multi Spot", "Pattern", "Partial"}},
        {{37384, 0, 0},
         0,
         {"Daylight",
          "Fluorescent",
          "Tungsten",
          "Flash",
          "Unknown (5)",
          "Unknown (6)",
          "Unknown (7)",
          "Unknown (8)",
          "Fine weather",
          "Cloudy weather",
          "Shade",
          "Daylight fluorescent",
          "Day white fluorescent",
          "Cool white fluorescent",
          "White fluorescent",
          "Unknown (16)",
          "Standard light A",
          "Standard light B",
          "Standard light C",
          "D55",
          "D65",
          "D75",
          "D50",
          "ISO studio tungsten"}},
        // Only the low two bits of the flash value are looked at, so values
        // 1 … 3 are the ones that show.
        {{37385, 0, 0},
         0x03,
         {"Flash fired", "Unknown (2)", "Unknown (3)", "Unknown (4)",
          "Flash fired, but no strobe return light was detected"}},
    };
    return tables;
}

const EnumTable* FindEnumTable(std::uint32_t tag) {
    for (const EnumTable& t : EnumTables()) {
        if (std::find(std::begin(t.tags), std::end(t.tags), tag) != std::end(t.tags)) {
            return &t;
        }
    }
    return nullptr;
}

// The name of a value type in the "(%u %s)" form.
const char* TypeName(std::uint16_t type) {
    switch (type) {
    case kPropertyByte:
    case kPropertySByte:
    case kPropertyUndefined:
        return "bytes";
    case kPropertyAscii:
        return "characters";
    case kPropertyShort:
    case kPropertySShort:
        return "shorts";
    case kPropertyLong:
        return "longs";
    case kPropertyRational:
        return "rationals";
    case kPropertySLong:
        return "signed longs";
    case kPropertySRational:
        return "signed rationals";
    case kPropertyFloat:
        return "floats";
    case kPropertyDouble:
        return "doubles";
    default:
        return "bytes";
    }
}

// Text bytes as UTF-8: NUL bytes are left out, then valid UTF-8 sequences
// stay and any other byte is taken as Latin-1.
std::string BytesAsText(const std::uint8_t* bytes, std::size_t count) {
    std::vector<std::uint8_t> text;
    text.reserve(count);
    std::copy_if(bytes, bytes + count, std::back_inserter(text),
                 [](std::uint8_t b) { return b != 0; });
    const std::uint8_t* p = text.data();
    const std::size_t n = text.size();
    std::string out;
    out.reserve(n);
    std::size_t i = 0;
    while (i < n) {
        const std::uint8_t c = p[i];
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        std::size_t len = (c & 0xE0) == 0xC0   ? 2
                          : (c & 0xF0) == 0xE0 ? 3
                          : (c & 0xF8) == 0xF0 ? 4
                                               : 0;
        bool valid = len > 0 && i + len <= n && c >= 0xC2 && c <= 0xF4;
        for (std::size_t k = 1; valid && k < len; ++k) {
            valid = (p[i + k] & 0xC0) == 0x80;
        }
        if (valid) {
            out.append(reinterpret_cast<const char*>(p + i), len);
            i += len;
            continue;
        }
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        ++i;
    }
    return out;
}

std::uint16_t U16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

template <typename... Args> std::string Format(const char* format, Args... args) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

std::string SingleValueText(const PropertyItem& item) {
    const std::uint8_t* p = item.value.data();
    switch (item.type) {
    case kPropertyShort:
        return Format("%u (= %#04x)", unsigned{U16(p)}, unsigned{U16(p)});
    case kPropertyLong:
        return Format("%u (= %#08x)", U32(p), U32(p));
    case kPropertySLong:
        return Format("%d (= %#08x)", static_cast<std::int32_t>(U32(p)), U32(p));
    case kPropertyRational: {
        const std::uint32_t num = U32(p);
        const std::uint32_t den = U32(p + 4);
        if (den == 0) {
            return {};
        }
        const std::string q = CImageProperties::DecimalText(static_cast<double>(num) / den);
        return Format("%s (%u/%u)", q.c_str(), num, den);
    }
    case kPropertySRational: {
        const auto num = static_cast<std::int32_t>(U32(p));
        const auto den = static_cast<std::int32_t>(U32(p + 4));
        if (den == 0) {
            return {};
        }
        const std::string q = CImageProperties::DecimalText(static_cast<double>(num) / den);
        return Format("%s (%d/%d)", q.c_str(), num, den);
    }
    case kPropertyByte:
    case kPropertyUndefined:
        return Format("%u (= %#02x)", unsigned{p[0]}, unsigned{p[0]});
    default:
        return Format("(%u %s)", 1u, TypeName(item.type));
    }
}

// Two to four bytes: hex groups, or the bytes as text when all are printable.
std::string ShortBytesText(const PropertyItem& item) {
    const bool printable =
        std::all_of(item.value.begin(), item.value.end(), [](std::uint8_t b) { return b >= 32; });
    if (printable) {
        return BytesAsText(item.value.data(), item.value.size());
    }
    std::string text;
    for (std::uint8_t b : item.value) {
        text += Format("%#02x ", unsigned{b});
    }
    return text;
}

} // namespace

std::size_t PropertyElementSize(std::uint16_t type) {
    switch (type) {
    case kPropertyShort:
    case kPropertySShort:
        return 2;
    case kPropertyLong:
    case kPropertySLong:
    case kPropertyFloat:
        return 4;
    case kPropertyRational:
    case kPropertySRational:
    case kPropertyDouble:
        return 8;
    default:
        return 1;
    }
}

std::string CImageProperties::DecimalText(double value) {
    std::string text = Format("%f", value);
    while (!text.empty() && text.back() == '0') {
        text.pop_back();
    }
    if (!text.empty() && text.back() == '.') {
        text.push_back('0');
    }
    return text;
}

std::string CImageProperties::ItemText(const PropertyItem& item) {
    if (item.value.empty()) {
        return {};
    }
    if (const EnumTable* table = FindEnumTable(item.tag)) {
        // The first byte of the (little-endian) value.
        std::uint8_t v = item.value[0];
        if (table->lowBitsMask != 0) {
            v &= table->lowBitsMask;
        }
        if (v == 0 || v > table->texts.size()) {
            return {};
        }
        return table->texts[v - 1];
    }
    if (item.type == kPropertyAscii) {
        const auto* p = item.value.data();
        const auto* end = std::find(p, p + item.value.size(), std::uint8_t{0});
        return BytesAsText(p, static_cast<std::size_t>(end - p));
    }
    const bool bytes = item.type == kPropertyByte || item.type == kPropertyUndefined;
    if (bytes && (item.tag == propertytag::kUserComment || item.tag == propertytag::kMakerNote)) {
        return BytesAsText(item.value.data(), item.value.size());
    }
    const std::size_t n = item.Count();
    if (n == 1) {
        return SingleValueText(item);
    }
    if (bytes && n == 0) {
        return {};
    }
    if (bytes && n >= 2 && n <= 4) {
        return ShortBytesText(item);
    }
    return Format("(%u %s)", static_cast<unsigned>(n), TypeName(item.type));
}

std::string CImageProperties::PropertyText(std::uint32_t tag) const {
    const PropertyItem* item = m_image.GetItem(tag);
    if (!item) {
        return {};
    }
    return ItemText(*item);
}

void CImageProperties::CopyPropertiesFrom(const ImageMetadata& source) {
    if (source.HasError()) {
        return;
    }
    for (const PropertyItem& item : source.Items()) {
        m_image.SetItem(item);
    }
}

PropertyItem AsciiItem(std::uint32_t tag, const std::string& text) {
    PropertyItem item;
    item.tag = tag;
    item.type = kPropertyAscii;
    item.value.assign(text.begin(), text.end());
    item.value.push_back(0);
    return item;
}

void CImageProperties::SetSoftware(const std::string& text) {
    m_image.SetItem(AsciiItem(propertytag::kSoftware, text));
}

const PropertyItem* ImageMetadata::GetItem(std::uint32_t tag) const {
    for (const PropertyItem& item : m_items) {
        if (item.tag == tag) {
            return &item;
        }
    }
    return nullptr;
}

void ImageMetadata::SetItem(PropertyItem item) {
    for (PropertyItem& existing : m_items) {
        if (existing.tag == item.tag) {
            existing = std::move(item);
            return;
        }
    }
    m_items.push_back(std::move(item));
}

std::vector<std::uint32_t> ImageMetadata::PropertyIds() const {
    std::vector<std::uint32_t> ids;
    ids.reserve(m_items.size());
    for (const PropertyItem& item : m_items) {
        ids.push_back(item.tag);
    }
    return ids;
}
