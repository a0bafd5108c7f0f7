#pragma once

// The property items (EXIF and TIFF tags) of one picture file and the
// display texts made from them. ImageMetadata holds the items read from a
// file (or from its bytes in memory) and writes them into another file;
// CImageProperties reads and changes the items of one ImageMetadata. Both
// are plain values used by one thread at a time: the thumbnail loader on
// its worker, the viewer's save on the user-interface thread.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The TIFF/EXIF value types of a property item.
enum PropertyType : std::uint16_t {
    kPropertyByte = 1,
    kPropertyAscii = 2,
    kPropertyShort = 3,
    kPropertyLong = 4,
    kPropertyRational = 5,
    kPropertySByte = 6,
    kPropertyUndefined = 7,
    kPropertySShort = 8,
    kPropertySLong = 9,
    kPropertySRational = 10,
    kPropertyFloat = 11,
    kPropertyDouble = 12,
};

// The size in bytes of one element of a value type (1 for types we do not know).
std::size_t PropertyElementSize(std::uint16_t type);

// One property item: tag id, value type and the value bytes, multi-byte
// numbers little-endian. Tags of the primary image and its EXIF and GPS
// directories keep their numbers; tags of the embedded thumbnail's
// directory are numbered from 0x5020 (compression 20515, resolution unit
// 20528, ...), so that one number names one property.
struct PropertyItem {
    std::uint32_t tag = 0;
    std::uint16_t type = kPropertyUndefined;
    std::vector<std::uint8_t> value;

    std::size_t Count() const { return value.size() / PropertyElementSize(type); }
};

// An ASCII item holding the text and its terminating zero.
PropertyItem AsciiItem(std::uint32_t tag, const std::string& text);

// Tags the program reads by number.
namespace propertytag {
constexpr std::uint32_t kImageDescription = 270;
constexpr std::uint32_t kEquipMake = 271;
constexpr std::uint32_t kEquipModel = 272;
constexpr std::uint32_t kOrientation = 274;
constexpr std::uint32_t kSoftware = 305;
constexpr std::uint32_t kDateTime = 306;
constexpr std::uint32_t kArtist = 315;
constexpr std::uint32_t kImageTitle = 800;
constexpr std::uint32_t kCopyright = 33432;
constexpr std::uint32_t kExposureTime = 33434;
constexpr std::uint32_t kFNumber = 33437;
constexpr std::uint32_t kExposureProgram = 34850;
constexpr std::uint32_t kIsoSpeed = 34855;
constexpr std::uint32_t kShutterSpeed = 37377;
constexpr std::uint32_t kAperture = 37378;
constexpr std::uint32_t kBrightness = 37379;
constexpr std::uint32_t kExposureBias = 37380;
constexpr std::uint32_t kMaxAperture = 37381;
constexpr std::uint32_t kMeteringMode = 37383;
constexpr std::uint32_t kLightSource = 37384;
constexpr std::uint32_t kFlash = 37385;
constexpr std::uint32_t kFocalLength = 37386;
constexpr std::uint32_t kMakerNote = 37500;
constexpr std::uint32_t kUserComment = 37510;
} // namespace propertytag

// The property items of one picture, read with the metadata library.
// Reading never throws: a file the library cannot read leaves the object
// in its error state with no items.
class ImageMetadata {
public:
    ImageMetadata() = default;

    // Reads the items of a file or of a file's bytes; false (and the error
    // state) when the library cannot read it.
    bool ReadFile(const std::string& path);
    bool ReadBytes(std::span<const std::uint8_t> bytes);
    // Stores the items into an existing picture file, keeping its pixels
    // and its other metadata (an item replaces the file's one of the same
    // tag; directory pointers and the source's pixel-layout tags are not
    // written). False when the file cannot take them (a format without
    // EXIF support, a write failure).
    bool WriteFile(const std::string& path) const;

    bool HasError() const { return m_error; }
    // The pixel size the file's header gives (0 when unknown).
    std::uint32_t PixelWidth() const { return m_pixelWidth; }
    std::uint32_t PixelHeight() const { return m_pixelHeight; }

    const PropertyItem* GetItem(std::uint32_t tag) const;
    // Replaces the item with the same tag, or adds it.
    void SetItem(PropertyItem item);
    std::vector<std::uint32_t> PropertyIds() const;
    const std::vector<PropertyItem>& Items() const { return m_items; }

private:
    template <typename Open> bool Read(Open open);

    std::vector<PropertyItem> m_items;
    std::uint32_t m_pixelWidth = 0;
    std::uint32_t m_pixelHeight = 0;
    bool m_error = false;
};

// Display texts of an image's properties and the copying of its items; a
// thin object over one ImageMetadata it does not own.
class CImageProperties {
public:
    explicit CImageProperties(ImageMetadata& image) : m_image(image) {}
    virtual ~CImageProperties() = default;

    // The display text of one property; empty when the image lacks it.
    std::string PropertyText(std::uint32_t tag) const;
    // Copies every item of the source into this image (nothing when the
    // source is in its error state).
    void CopyPropertiesFrom(const ImageMetadata& source);
    // Stores the text as the software property (ASCII with its terminating zero).
    void SetSoftware(const std::string& text);

    // The display text of one item by the rules above (exposed for tests).
    static std::string ItemText(const PropertyItem& item);
    // "%f" with trailing zeros removed and "0" after a final point.
    static std::string DecimalText(double value);

private:
    ImageMetadata& m_image;
};
