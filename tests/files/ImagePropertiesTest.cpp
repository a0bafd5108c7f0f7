#include "files/ImageProperties.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

std::vector<std::uint8_t> Le16(std::initializer_list<std::uint16_t> values) {
    std::vector<std::uint8_t> out;
    for (auto v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    return out;
}

std::vector<std::uint8_t> Le32(std::initializer_list<std::uint32_t> values) {
    std::vector<std::uint8_t> out;
    for (auto v : values) {
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    }
    return out;
}

PropertyItem Item(std::uint32_t tag, std::uint16_t type, std::vector<std::uint8_t> value) {
    return PropertyItem{tag, type, std::move(value)};
}

std::vector<std::uint8_t> Bytes(const std::string& s) {
    return {s.begin(), s.end()};
}

struct TextCase {
    const char* what;
    PropertyItem item;
    std::string expected;
};

TEST(ImageProperties, ItemTextFollowsTheRules) {
    std::vector<std::uint8_t> makerNote(500, 'n');
    makerNote[0] = 'N';
    const TextCase cases[] = {
        {"exposure time", Item(33434, kPropertyRational, Le32({1, 250})), "0.004 (1/250)"},
        {"f number", Item(33437, kPropertyRational, Le32({28, 10})), "2.8 (28/10)"},
        {"whole quotient", Item(37386, kPropertyRational, Le32({4, 1})), "4.0 (4/1)"},
        {"1/200", Item(33434, kPropertyRational, Le32({1, 200})), "0.005 (1/200)"},
        {"zero denominator", Item(33434, kPropertyRational, Le32({1, 0})), ""},
        {"negative bias", Item(37380, kPropertySRational, Le32({0xFFFFFFFDu, 3})), "-1.0 (-3/3)"},
        {"signed zero denominator", Item(37380, kPropertySRational, Le32({5, 0})), ""},
        {"orientation 6", Item(274, kPropertyShort, Le16({6})), "Ccw 90°"},
        {"orientation 8", Item(274, kPropertyShort, Le16({8})), "Cw\t90°"},
        {"orientation 9", Item(274, kPropertyShort, Le16({9})), ""},
        {"orientation 0", Item(274, kPropertyShort, Le16({0})), ""},
        {"light source 255", Item(37384, kPropertyShort, Le16({255})), ""},
        {"light source 24", Item(37384, kPropertyShort, Le16({24})), "ISO studio tungsten"},
        {"flash low bits", Item(37385, kPropertyShort, Le16({0x19})), "Flash fired"},
        {"flash not fired", Item(37385, kPropertyShort, Le16({0x10})), ""},
        {"thumbnail compression", Item(20515, kPropertyShort, Le16({6})), "Jpeg"},
        {"focal plane unit", Item(41488, kPropertyShort, Le16({3})), "Centimeter"},
        {"metering", Item(37383, kPropertyShort, Le16({5})), "Pattern"},
        {"program", Item(34850, kPropertyShort, Le16({3})), "Aperture priority"},
        {"ascii", Item(271, kPropertyAscii, Bytes(std::string("NIKON\0junk", 10))), "NIKON"},
        {"latin-1 ascii", Item(315, kPropertyAscii, Bytes("Photographer\xEDs")),
         "Photographer\xC3\xADs"},
        {"maker note as text", Item(37500, kPropertyUndefined, makerNote),
         "N" + std::string(499, 'n')},
        {"user comment", Item(37510, kPropertyUndefined, Bytes(std::string("ASCII\0\0\0Hi", 10))),
         "ASCIIHi"},
        {"iso short", Item(34855, kPropertyShort, Le16({200})), "200 (= 0xc8)"},
        {"zero short", Item(34855, kPropertyShort, Le16({0})), "0 (= 0000)"},
        {"long", Item(40962, kPropertyLong, Le32({3008})), "3008 (= 0x000bc0)"},
        {"signed long", Item(40000, kPropertySLong, Le32({0xFFFFFFFFu})), "-1 (= 0xffffffff)"},
        {"one byte", Item(40001, kPropertyByte, {5}), "5 (= 0x5)"},
        {"printable version", Item(36864, kPropertyUndefined, Bytes("0220")), "0220"},
        {"unprintable four", Item(37121, kPropertyUndefined, {1, 2, 3, 0}), "0x1 0x2 0x3 00 "},
        {"no bytes", Item(40002, kPropertyUndefined, {}), ""},
        {"five bytes", Item(40003, kPropertyUndefined, {1, 2, 3, 4, 5}), "(5 bytes)"},
        {"shorts", Item(258, kPropertyShort, Le16({8, 8, 8})), "(3 shorts)"},
        {"rationals", Item(318, kPropertyRational, Le32({1, 2, 3, 4})), "(2 rationals)"},
        {"signed longs", Item(40004, kPropertySLong, Le32({1, 2})), "(2 signed longs)"},
        {"signed rationals", Item(40005, kPropertySRational, Le32({1, 2, 3, 4})),
         "(2 signed rationals)"},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(CImageProperties::ItemText(c.item), c.expected) << c.what;
    }
}

TEST(ImageProperties, DecimalTextTrimsZeros) {
    EXPECT_EQ(CImageProperties::DecimalText(0.004), "0.004");
    EXPECT_EQ(CImageProperties::DecimalText(4.0), "4.0");
    EXPECT_EQ(CImageProperties::DecimalText(0.0), "0.0");
    EXPECT_EQ(CImageProperties::DecimalText(1.0 / 3), "0.333333");
    EXPECT_EQ(CImageProperties::DecimalText(-2.5), "-2.5");
}

TEST(ImageProperties, MissingPropertyAndUnreadableFileReadEmpty) {
    testsupport::ScopedTestHome home;
    ImageMetadata missing;
    EXPECT_FALSE(missing.ReadFile(home.Temp() + "/none.jpg"));
    EXPECT_TRUE(missing.HasError());
    ASSERT_TRUE(testsupport::WriteFile(home.Temp() + "/text.jpg", "not a picture at all"));
    ImageMetadata text;
    EXPECT_FALSE(text.ReadFile(home.Temp() + "/text.jpg"));
    EXPECT_TRUE(text.Items().empty());
    EXPECT_EQ(CImageProperties(text).PropertyText(271), "");
    ImageMetadata truncated;
    const std::string camera =
        testsupport::ReadFile(testsupport::SharedTestData("exif/exiv2-nikon-d70.jpg"));
    const std::string head = camera.substr(0, 600);
    truncated.ReadBytes({reinterpret_cast<const std::uint8_t*>(head.data()), head.size()});
    EXPECT_EQ(CImageProperties(truncated).PropertyText(37500), "");
}

// Broken PNG files (huge and truncated chunks, bad CRCs, zero sizes) read
// without crashing; the suite's text-chunk files (all but ct0n0g04, which
// has none) give their title from tEXt or uncompressed iTXt chunks.
TEST(ImageProperties, PngTitlesAndBrokenPngFiles) {
    for (const auto& entry :
         std::filesystem::directory_iterator(testsupport::SharedTestData("png/crashers"))) {
        ImageMetadata metadata;
        metadata.ReadFile(entry.path().string());
        CImageProperties(metadata).PropertyText(propertytag::kImageTitle);
    }
    int titled = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(testsupport::SharedTestData("png/pngsuite"))) {
        const std::string name = entry.path().filename().string();
        const bool textChunk = name.rfind("ct", 0) == 0 && name.rfind("ct0", 0) != 0;
        ImageMetadata metadata;
        metadata.ReadFile(entry.path().string());
        EXPECT_EQ(CImageProperties(metadata).PropertyText(propertytag::kImageTitle),
                  textChunk ? "PngSuite" : "")
            << name;
        titled += textChunk;
    }
    EXPECT_GE(titled, 5);
}

// --- The camera files against their `exiv2 -pv` listings. ---

struct ListedItem {
    std::uint32_t tag = 0;
    std::string group;
    std::string type;
    std::size_t count = 0;
    std::string value;
};

std::vector<ListedItem> ReadListing(const std::string& path) {
    std::vector<ListedItem> items;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        ListedItem item;
        std::string tag;
        std::string name;
        if (!(fields >> tag >> item.group >> name >> item.type >> item.count) ||
            tag.rfind("0x", 0) != 0) {
            // A text value with line breaks goes on over several lines.
            if (!items.empty()) {
                items.back().value += "\n" + line;
            }
            continue;
        }
        item.tag = static_cast<std::uint32_t>(std::stoul(tag, nullptr, 16));
        std::string rest;
        std::getline(fields, rest);
        item.value = rest.size() >= 2 ? rest.substr(2) : std::string();
        items.push_back(item);
    }
    return items;
}

// The rules once more, from the listing's printed values.
std::string Latin1Fallback(const std::vector<std::uint8_t>& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::uint8_t b = bytes[i];
        std::size_t len = b < 0x80                   ? 1
                          : (b >= 0xC2 && b <= 0xDF) ? 2
                          : (b >= 0xE0 && b <= 0xEF) ? 3
                          : (b >= 0xF0 && b <= 0xF4) ? 4
                                                     : 0;
        for (std::size_t k = 1; len > 1 && k < len; ++k) {
            if (i + k >= bytes.size() || (bytes[i + k] & 0xC0) != 0x80) {
                len = 0;
            }
        }
        if (len == 0) {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
            ++i;
        } else {
            out.append(reinterpret_cast<const char*>(&bytes[i]), len);
            i += len;
        }
    }
    return out;
}

std::vector<long long> Numbers(const std::string& text) {
    std::vector<long long> out;
    std::istringstream in(text);
    for (long long v; in >> v;) {
        out.push_back(v);
    }
    return out;
}

const std::map<std::uint32_t, std::vector<std::string>>& EnumTexts() {
    static const std::map<std::uint32_t, std::vector<std::string>> texts = {
        {274,
         {"Normal", "Unknown (2)", "180°", "Unknown (4)", "Unknown (5)", "Ccw 90°", "Unknown (7)",
          "Cw\t90°"}},
        {34850,
         {"Manual", "Normal", "Aperture priority", "Shutter priority", "Creative", "Action",
          "Portrait", "Landscape"}},
        {37383, {"Average", "Center weighted", "Spot", "Multi Spot", "Pattern", "Partial"}},
        {37384,
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
        {37385,
         {"Flash fired", "Unknown (2)", "Unknown (3)", "Unknown (4)",
          "Flash fired, but no strobe return light was detected"}},
    };
    return texts;
}

std::string Printf(const char* format, long long a, long long b = 0) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, format, a, b);
    return buffer;
}

std::string Quotient(long long num, long long den, bool isSigned) {
    char number[64];
    std::snprintf(number, sizeof number, "%f", static_cast<double>(num) / den);
    std::string q = number;
    q.erase(q.find_last_not_of('0') + 1);
    if (q.back() == '.') {
        q += '0';
    }
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, isSigned ? "%s (%lld/%lld)" : "%s (%llu/%llu)", q.c_str(),
                  num, den);
    return buffer;
}

// nullopt when the listing does not show the value in a form we can check.
std::optional<std::string> ExpectedText(const ListedItem& item) {
    if (EnumTexts().count(item.tag)) {
        auto values = Numbers(item.value);
        if (values.empty()) {
            return std::nullopt;
        }
        unsigned v = static_cast<unsigned>(values[0]) & 0xFF;
        if (item.tag == 37385) {
            v &= 3;
        }
        const auto& texts = EnumTexts().at(item.tag);
        return v == 0 || v > texts.size() ? std::string() : texts[v - 1];
    }
    if (item.type == "Ascii") {
        return Latin1Fallback({item.value.begin(), item.value.end()});
    }
    const bool bytes = item.type == "Undefined" || item.type == "Byte";
    const auto numbers = [&] {
        std::string text = item.value;
        std::replace(text.begin(), text.end(), '/', ' ');
        return Numbers(text);
    }();
    if (bytes && item.tag == 37500) {
        std::vector<std::uint8_t> raw;
        for (long long v : numbers) {
            if (v != 0) {
                raw.push_back(static_cast<std::uint8_t>(v));
            }
        }
        return Latin1Fallback(raw);
    }
    if (item.count == 1) {
        if (numbers.empty()) {
            return std::nullopt;
        }
        if (item.type == "Short") {
            return Printf("%llu (= %#04llx)", numbers[0], numbers[0]);
        }
        if (item.type == "Long") {
            return Printf("%llu (= %#08llx)", numbers[0], numbers[0]);
        }
        if ((item.type == "Rational" || item.type == "SRational") && numbers.size() == 2) {
            if (numbers[1] == 0) {
                return std::string();
            }
            return Quotient(numbers[0], numbers[1], item.type == "SRational");
        }
        if (bytes) {
            return Printf("%llu (= %#02llx)", numbers[0], numbers[0]);
        }
        return std::nullopt;
    }
    if (bytes && item.count >= 2 && item.count <= 4) {
        std::string text;
        bool printable = true;
        std::vector<std::uint8_t> raw;
        for (long long v : numbers) {
            text += Printf("%#02llx ", v);
            printable = printable && v >= 32;
            raw.push_back(static_cast<std::uint8_t>(v));
        }
        return printable ? Latin1Fallback(raw) : text;
    }
    static const std::map<std::string, std::string> names = {
        {"Byte", "bytes"},         {"Undefined", "bytes"},
        {"Ascii", "characters"},   {"Short", "shorts"},
        {"Long", "longs"},         {"Rational", "rationals"},
        {"SLong", "signed longs"}, {"SRational", "signed rationals"}};
    if (!names.count(item.type)) {
        return std::nullopt;
    }
    return "(" + std::to_string(item.count) + " " + names.at(item.type) + ")";
}

// The tags the thumbnail loader stores, except the user comment, which the
// listing prints decoded from its character-set prefix.
constexpr std::uint32_t kStoredTags[] = {270,   315,   33432, 271,   272,   274,   306,
                                         33434, 33437, 34850, 34855, 37377, 37378, 37379,
                                         37380, 37381, 37383, 37384, 37385, 37386, 37500};

TEST(ImageProperties, CameraFilesMatchTheirListings) {
    const std::filesystem::path dir = testsupport::SharedTestData("exif");
    int checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".jpg") {
            continue;
        }
        std::filesystem::path listing = entry.path();
        listing.replace_extension(".exiv2-pv.txt");
        ImageMetadata metadata;
        metadata.ReadFile(entry.path());
        const CImageProperties properties(metadata);
        std::map<std::uint32_t, bool> seen;
        for (const ListedItem& item : ReadListing(listing)) {
            if ((item.group != "Image" && item.group != "Photo") || seen[item.tag]) {
                continue;
            }
            seen[item.tag] = true;
            if (std::find(std::begin(kStoredTags), std::end(kStoredTags), item.tag) ==
                std::end(kStoredTags)) {
                continue;
            }
            const auto expected = ExpectedText(item);
            if (!expected) {
                continue;
            }
            EXPECT_EQ(properties.PropertyText(item.tag), *expected)
                << entry.path().filename() << " tag " << item.tag;
            ++checked;
        }
    }
    EXPECT_GT(checked, 300); // the listings hold several hundred such items
}

TEST(ImageProperties, PngAndTiffFilesCarryTheirItems) {
    testsupport::ScopedTestHome home;
    ImageMetadata source;
    ASSERT_TRUE(source.ReadFile(testsupport::SharedTestData("exif/exiv2-canon-eos-20d.jpg")));
    for (const auto& [name, type] :
         {std::pair{"copy.png", imaging::kFormatPng}, std::pair{"copy.tif", imaging::kFormatTif}}) {
        CxImage picture(32, 24, 24);
        const std::string path = home.Temp() + "/" + name;
        ASSERT_TRUE(picture.SaveFile(path, type));
        ImageMetadata target;
        ASSERT_TRUE(target.ReadFile(path)) << name;
        CImageProperties(target).CopyPropertiesFrom(source);
        ASSERT_TRUE(target.WriteFile(path)) << name;
        ImageMetadata reread;
        ASSERT_TRUE(reread.ReadFile(path)) << name;
        EXPECT_EQ(CImageProperties(reread).PropertyText(propertytag::kEquipModel),
                  CImageProperties(source).PropertyText(propertytag::kEquipModel))
            << name;
        EXPECT_EQ(reread.PixelWidth(), 32u) << name;
        CxImage back;
        ASSERT_TRUE(back.LoadFile(path)) << name << ": the pixels survive";
        EXPECT_EQ(back.Width(), 32u);
    }
}

std::uint32_t Crc32(const std::string& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

// A PNG of ours with one text chunk put in after its header chunk.
std::string PngWithTextChunk(const std::string& type, const std::string& data) {
    CxImage picture(8, 8, 24);
    std::vector<std::uint8_t> png;
    EXPECT_TRUE(picture.Encode(png, imaging::kFormatPng));
    std::string bytes(png.begin(), png.end());
    const auto be32 = [](std::uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    };
    const std::string body = type + data;
    const std::string chunk =
        be32(static_cast<std::uint32_t>(data.size())) + body + be32(Crc32(body));
    return bytes.insert(8 + 25, chunk);
}

TEST(ImageProperties, TitleIsReadFromPngTextChunks) {
    testsupport::ScopedTestHome home;
    const struct {
        const char* name;
        std::string type, data, expected;
    } cases[] = {
        {"latin1.png", "tEXt", std::string("Title\0Sunset \xE9", 14), "Sunset \xC3\xA9"},
        {"utf8.png", "iTXt",
         std::string("Title\0\0\0de\0Titel\0\xC3\x9C"
                     "ber",
                     22),
         "\xC3\x9C"
         "ber"},
        {"other.png", "tEXt", std::string("Author\0Ann", 11), ""},
    };
    for (const auto& c : cases) {
        const std::string path = home.Temp() + "/" + c.name;
        ASSERT_TRUE(testsupport::WriteFile(path, PngWithTextChunk(c.type, c.data)));
        CxImage check;
        ASSERT_TRUE(check.LoadFile(path)) << c.name << " is still a good PNG";
        ImageMetadata metadata;
        ASSERT_TRUE(metadata.ReadFile(path)) << c.name;
        EXPECT_EQ(CImageProperties(metadata).PropertyText(propertytag::kImageTitle), c.expected)
            << c.name;
    }
}

TEST(ImageProperties, CopiedPropertiesAndSoftwareReachASavedFile) {
    testsupport::ScopedTestHome home;
    ImageMetadata source;
    ASSERT_TRUE(source.ReadFile(testsupport::SharedTestData("exif/exiv2-nikon-d70.jpg")));
    CxImage picture(40, 30, 24);
    const std::string saved = home.Temp() + "/edited.jpg";
    ASSERT_TRUE(picture.SaveFile(saved, imaging::kFormatJpg));

    ImageMetadata target;
    ASSERT_TRUE(target.ReadFile(saved));
    CImageProperties properties(target);
    properties.CopyPropertiesFrom(source);
    properties.SetSoftware("Orvanta");
    target.SetItem({propertytag::kImageTitle, kPropertyAscii, Bytes(std::string("Dunes\0", 6))});
    ASSERT_TRUE(target.WriteFile(saved));

    ImageMetadata reread;
    ASSERT_TRUE(reread.ReadFile(saved));
    const CImageProperties result(reread);
    EXPECT_EQ(result.PropertyText(propertytag::kEquipModel), "NIKON D70");
    EXPECT_EQ(result.PropertyText(propertytag::kSoftware), "Orvanta");
    EXPECT_EQ(result.PropertyText(propertytag::kExposureTime), "0.004 (10/2500)");
    EXPECT_EQ(result.PropertyText(propertytag::kImageTitle), "Dunes");
    EXPECT_EQ(reread.PixelWidth(), 40u);
    CxImage back;
    EXPECT_TRUE(back.LoadFile(saved)); // the pixels survive the metadata write

    ImageMetadata broken;
    broken.ReadFile(home.Temp() + "/missing.jpg");
    CImageProperties untouched(reread);
    const auto before = reread.Items().size();
    untouched.CopyPropertiesFrom(broken);
    EXPECT_EQ(reread.Items().size(), before);
    EXPECT_FALSE(target.WriteFile(home.Temp() + "/missing.jpg"));
}

} // namespace
