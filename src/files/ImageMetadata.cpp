// ImageMetadata over the metadata library: the one place that calls it.
// Every call into the library is inside a try block; its exceptions become
// the object's error state or a false result.

#include "files/ImageProperties.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <mutex>
#include <utility>

namespace {

// Tags of the thumbnail's directory and the numbers its items get.
constexpr std::array<std::pair<std::uint16_t, std::uint32_t>, 28> kThumbnailTags = {{
    {0x0100, 0x5020}, {0x0101, 0x5021}, {0x0102, 0x5022}, {0x0103, 0x5023}, {0x0106, 0x5024},
    {0x010E, 0x5025}, {0x010F, 0x5026}, {0x0110, 0x5027}, {0x0111, 0x5028}, {0x0112, 0x5029},
    {0x0115, 0x502A}, {0x0116, 0x502B}, {0x0117, 0x502C}, {0x011A, 0x502D}, {0x011B, 0x502E},
    {0x011C, 0x502F}, {0x0128, 0x5030}, {0x012D, 0x5031}, {0x0131, 0x5032}, {0x0132, 0x5033},
    {0x013B, 0x5034}, {0x013E, 0x5035}, {0x013F, 0x5036}, {0x0211, 0x5037}, {0x0212, 0x5038},
    {0x0213, 0x5039}, {0x0214, 0x503A}, {0x8298, 0x503B},
}};

// Directory pointers the library maintains itself, and the tags that
// describe how the source's own pixels are stored; neither is copied into
// another file.
bool IsPointerTag(std::uint32_t tag) {
    return tag == 0x8769 || tag == 0x8825 || tag == 0xA005 || tag == 0x014A;
}
bool IsStructureTag(std::uint32_t tag) {
    constexpr std::uint32_t kTags[] = {0x0100, 0x0101, 0x0102, 0x0103, 0x0106, 0x0111, 0x0115,
                                       0x0116, 0x0117, 0x011C, 0x0140, 0x0142, 0x0143, 0x0144,
                                       0x0145, 0x0152, 0x0153, 0x0201, 0x0202, 0x0212, 0x02BC};
    return std::find(std::begin(kTags), std::end(kTags), tag) != std::end(kTags);
}

// The item number of a datum, or nullopt for data outside the primary
// image's directories (maker-note fields, interoperability, sub-images).
std::optional<std::uint32_t> ItemTag(const Exiv2::Exifdatum& datum) {
    const std::string group = datum.groupName();
    if (group == "Image" || group == "Photo" || group == "GPSInfo") {
        return datum.tag();
    }
    if (group == "Thumbnail") {
        for (const auto& [tiff, item] : kThumbnailTags) {
            if (tiff == datum.tag()) {
                return item;
            }
        }
    }
    return std::nullopt;
}

PropertyItem ItemFromDatum(std::uint32_t tag, const Exiv2::Exifdatum& datum) {
    PropertyItem item;
    item.tag = tag;
    item.type = static_cast<std::uint16_t>(datum.typeId());
    item.value.resize(datum.size());
    if (!item.value.empty()) {
        datum.copy(item.value.data(), Exiv2::littleEndian);
    }
    return item;
}

// The title where a file carries it outside EXIF (XMP dc:title).
std::optional<PropertyItem> TitleFromXmp(const Exiv2::XmpData& xmp) {
    const auto it = xmp.findKey(Exiv2::XmpKey("Xmp.dc.title"));
    if (it == xmp.end()) {
        return std::nullopt;
    }
    std::string text = it->toString();
    // Language alternatives print as lang="x-default" Text.
    if (text.rfind("lang=", 0) == 0) {
        const auto space = text.find(' ');
        text = space == std::string::npos ? std::string() : text.substr(space + 1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    return AsciiItem(propertytag::kImageTitle, text);
}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

std::string Latin1ToUtf8(const std::uint8_t* p, std::size_t n) {
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (p[i] < 0x80) {
            out.push_back(static_cast<char>(p[i]));
        } else {
            out.push_back(static_cast<char>(0xC0 | (p[i] >> 6)));
            out.push_back(static_cast<char>(0x80 | (p[i] & 0x3F)));
        }
    }
    return out;
}

// The text of a PNG "Title" chunk: tEXt (Latin-1) or uncompressed iTXt (UTF-8).
std::optional<std::string> PngTitle(std::span<const std::uint8_t> png) {
    static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (png.size() < 8 || !std::equal(std::begin(kSignature), std::end(kSignature), png.begin())) {
        return std::nullopt;
    }
    static constexpr char kKey[] = "Title";
    std::size_t at = 8;
    while (png.size() - at >= 12) {
        const std::uint32_t length = BigEndian32(&png[at]);
        if (length > png.size() - at - 12) {
            break;
        }
        const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
        const std::uint8_t* data = &png[at + 8];
        at += 12 + std::size_t{length};
        if (type == "IEND") {
            break;
        }
        if ((type != "tEXt" && type != "iTXt") || length < sizeof kKey ||
            std::memcmp(data, kKey, sizeof kKey) != 0) {
            continue;
        }
        const std::uint8_t* text = data + sizeof kKey;
        const std::uint8_t* end = data + length;
        if (type == "tEXt") {
            return Latin1ToUtf8(text, static_cast<std::size_t>(end - text));
        }
        // iTXt: compression flag, method, language tag and translated keyword first.
        if (end - text < 2 || text[0] != 0) {
            continue;
        }
        text += 2;
        for (int field = 0; field < 2 && text < end; ++field) {
            text = std::find(text, end, std::uint8_t{0});
            text += text < end ? 1 : 0;
        }
        return std::string(reinterpret_cast<const char*>(text),
                           static_cast<std::size_t>(end - text));
    }
    return std::nullopt;
}

// The library's key for an item number; primary-directory tags the
// library files under the EXIF directory go there, the rest to IFD0.
std::optional<Exiv2::ExifKey> KeyForItem(std::uint32_t tag) {
    if (tag > 0xFFFF || IsPointerTag(tag) || IsStructureTag(tag) ||
        (tag >= 0x5000 && tag < 0x5100)) {
        return std::nullopt;
    }
    const auto t = static_cast<std::uint16_t>(tag);
    if (t < 0x0020) {
        return Exiv2::ExifKey(t, "GPSInfo");
    }
    Exiv2::ExifKey photo(t, "Photo");
    if (photo.tagName().rfind("0x", 0) != 0) {
        return photo;
    }
    return Exiv2::ExifKey(t, "Image");
}

// The library's global state is set up once, before any thread reads a
// file: the XMP toolkit is not safe to initialise concurrently, and the
// library's warnings about odd files are not for the user.
void InitialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

} // namespace

// Opens with `open`, reads the metadata and collects the items; the
// library's exceptions leave the error state.
template <typename Open> bool ImageMetadata::Read(Open open) {
    m_items.clear();
    m_pixelWidth = m_pixelHeight = 0;
    m_error = true;
    InitialiseLibrary();
    try {
        Exiv2::Image::AutoPtr image = open();
        if (image.get() == nullptr) {
            return false;
        }
        image->readMetadata();
        m_pixelWidth = static_cast<std::uint32_t>(std::max(0, image->pixelWidth()));
        m_pixelHeight = static_cast<std::uint32_t>(std::max(0, image->pixelHeight()));
        for (const Exiv2::Exifdatum& datum : image->exifData()) {
            const auto tag = ItemTag(datum);
            if (tag && !GetItem(*tag)) {
                m_items.push_back(ItemFromDatum(*tag, datum));
            }
        }
        if (!GetItem(propertytag::kImageTitle)) {
            if (auto title = TitleFromXmp(image->xmpData())) {
                m_items.push_back(std::move(*title));
            }
        }
    } catch (const std::exception&) {
        m_items.clear();
        m_pixelWidth = m_pixelHeight = 0;
        return false;
    }
    m_error = false;
    return true;
}

bool ImageMetadata::ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes;
    if (in) {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.seekg(0);
        if (size > 0) {
            bytes.resize(static_cast<std::size_t>(size));
            in.read(reinterpret_cast<char*>(bytes.data()), size);
            bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
        }
    }
    return ReadBytes(bytes);
}

bool ImageMetadata::ReadBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        *this = ImageMetadata();
        m_error = true;
        return false;
    }
    const bool read = Read([bytes] {
        return Exiv2::ImageFactory::open(bytes.data(), static_cast<long>(bytes.size()));
    });
    if (read && !GetItem(propertytag::kImageTitle)) {
        if (auto title = PngTitle(bytes)) {
            m_items.push_back(AsciiItem(propertytag::kImageTitle, *title));
        }
    }
    return read;
}

bool ImageMetadata::WriteFile(const std::string& path) const {
    InitialiseLibrary();
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path);
        if (image.get() == nullptr) {
            return false;
        }
        image->readMetadata();
        Exiv2::ExifData& exif = image->exifData();
        for (const PropertyItem& item : m_items) {
            const auto key = KeyForItem(item.tag);
            if (!key || item.value.empty()) {
                continue;
            }
            Exiv2::Value::AutoPtr value =
                Exiv2::Value::create(static_cast<Exiv2::TypeId>(item.type));
            if (value->read(item.value.data(), static_cast<long>(item.value.size()),
                            Exiv2::littleEndian) != 0) {
                continue;
            }
            const auto existing = exif.findKey(*key);
            if (existing != exif.end()) {
                existing->setValue(value.get());
            } else {
                exif.add(*key, value.get());
            }
        }
        image->writeMetadata();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}
