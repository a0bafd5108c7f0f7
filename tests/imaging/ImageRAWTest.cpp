// Camera raw: a minimal DNG written by hand (a 32 × 32 Bayer mosaic of
// 16-bit samples) is demosaiced at full size and decoded at half size for
// thumbnails; a broken raw fails cleanly, and plain TIFF files are still
// left to the TIFF decoder.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"
#include "imaging/ImageRAW.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The raw decoder takes no mosaic smaller than 22 pixels a side.
constexpr std::uint32_t kSide = 32;

// A little-endian TIFF with one IFD, the tags given in ascending order.
class TiffWriter {
public:
    void Short(std::uint16_t tag, std::vector<std::uint16_t> values) {
        std::vector<std::uint8_t> bytes;
        for (auto v : values) {
            bytes.push_back(static_cast<std::uint8_t>(v));
            bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        Add(tag, 3, static_cast<std::uint32_t>(values.size()), bytes);
    }
    void Long(std::uint16_t tag, std::uint32_t v) { Add(tag, 4, 1, Le32(v)); }
    void Byte(std::uint16_t tag, std::vector<std::uint8_t> values) {
        Add(tag, 1, static_cast<std::uint32_t>(values.size()), values);
    }
    void Ascii(std::uint16_t tag, const std::string& text) {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        Add(tag, 2, static_cast<std::uint32_t>(bytes.size()), bytes);
    }
    void SRational(std::uint16_t tag, std::vector<std::pair<std::int32_t, std::int32_t>> values) {
        std::vector<std::uint8_t> bytes;
        for (auto [n, d] : values) {
            for (auto v : {n, d}) {
                auto le = Le32(static_cast<std::uint32_t>(v));
                bytes.insert(bytes.end(), le.begin(), le.end());
            }
        }
        Add(tag, 10, static_cast<std::uint32_t>(values.size()), bytes);
    }
    // Header, IFD, the values that do not fit an entry, then the strip.
    std::vector<std::uint8_t> Finish(const std::vector<std::uint8_t>& strip,
                                     std::uint16_t stripTag) {
        const std::uint32_t ifdSize = 2 + 12 * static_cast<std::uint32_t>(m_entries.size()) + 4;
        std::uint32_t extra = 8 + ifdSize;
        std::vector<std::uint8_t> out = {'I', 'I', 42, 0, 8, 0, 0, 0};
        std::vector<std::uint8_t> values;
        out.push_back(static_cast<std::uint8_t>(m_entries.size()));
        out.push_back(0);
        std::uint32_t stripOffset = extra;
        for (const Entry& e : m_entries) {
            if (e.bytes.size() > 4) {
                stripOffset += static_cast<std::uint32_t>(e.bytes.size() + (e.bytes.size() & 1));
            }
        }
        for (const Entry& e : m_entries) {
            auto put16 = [&](std::uint16_t v) {
                out.push_back(static_cast<std::uint8_t>(v));
                out.push_back(static_cast<std::uint8_t>(v >> 8));
            };
            put16(e.tag);
            put16(e.type);
            auto count = Le32(e.count);
            out.insert(out.end(), count.begin(), count.end());
            std::vector<std::uint8_t> field = e.bytes;
            if (e.tag == stripTag) {
                field = Le32(stripOffset);
            }
            if (field.size() <= 4) {
                field.resize(4, 0);
                out.insert(out.end(), field.begin(), field.end());
            } else {
                auto offset = Le32(extra + static_cast<std::uint32_t>(values.size()));
                out.insert(out.end(), offset.begin(), offset.end());
                values.insert(values.end(), field.begin(), field.end());
                if (values.size() & 1) {
                    values.push_back(0);
                }
            }
        }
        out.insert(out.end(), 4, 0);
        out.insert(out.end(), values.begin(), values.end());
        out.insert(out.end(), strip.begin(), strip.end());
        return out;
    }

private:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::vector<std::uint8_t> bytes;
    };
    static std::vector<std::uint8_t> Le32(std::uint32_t v) {
        return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    }
    void Add(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
             std::vector<std::uint8_t> bytes) {
        m_entries.push_back({tag, type, count, std::move(bytes)});
    }
    std::vector<Entry> m_entries;
};

// The mosaic (RGGB) of a picture whose left half is red and right half
// blue, at a quarter of the white level.
std::vector<std::uint8_t> MakeDng() {
    std::vector<std::uint8_t> strip;
    for (std::uint32_t y = 0; y < kSide; ++y) {
        for (std::uint32_t x = 0; x < kSide; ++x) {
            const bool redSite = y % 2 == 0 && x % 2 == 0;
            const bool blueSite = y % 2 == 1 && x % 2 == 1;
            const bool left = x < kSide / 2;
            const std::uint16_t v = (left && redSite) || (!left && blueSite) ? 16000 : 500;
            strip.push_back(static_cast<std::uint8_t>(v));
            strip.push_back(static_cast<std::uint8_t>(v >> 8));
        }
    }
    TiffWriter w;
    w.Long(254, 0);
    w.Short(256, {kSide});
    w.Short(257, {kSide});
    w.Short(258, {16});
    w.Short(259, {1});
    w.Short(262, {32803}); // colour filter array
    w.Ascii(271, "Orvanta");
    w.Ascii(272, "Test Camera");
    w.Long(273, 0); // strip offset, filled in by Finish
    w.Short(274, {1});
    w.Short(277, {1});
    w.Short(278, {kSide});
    w.Long(279, static_cast<std::uint32_t>(strip.size()));
    w.Short(284, {1});
    w.Short(33421, {2, 2});
    w.Byte(33422, {0, 1, 1, 2});
    w.Byte(50706, {1, 4, 0, 0});
    w.Ascii(50708, "Orvanta Test Camera");
    w.Short(50717, {65535});
    w.SRational(50721, {{1, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 1}, {0, 1}, {0, 1}, {0, 1}, {1, 1}});
    w.Short(50778, {21});
    return w.Finish(strip, 273);
}

TEST(ImageRAW, DemosaicsAHandMadeDng) {
    const auto dng = MakeDng();
    ASSERT_TRUE(CxImageRAW::LooksLikeRaw(dng));
    CxImage image;
    ASSERT_TRUE(image.Decode(dng)) << image.GetLastError();
    EXPECT_EQ(image.GetType(), imaging::kFormatRaw);
    EXPECT_EQ(image.Width(), kSide);
    EXPECT_EQ(image.Height(), kSide);
    EXPECT_EQ(image.GetBpp(), 24u);
    // Away from the seam and the borders the left is red, the right blue.
    const RgbQuad left = image.GetPixelColor(6, 16);
    const RgbQuad right = image.GetPixelColor(25, 16);
    EXPECT_GT(left.red, left.blue + 40);
    EXPECT_GT(right.blue, right.red + 40);
}

TEST(ImageRAW, ThumbnailsUseTheHalfSizeDecode) {
    const auto dng = MakeDng();
    CxImage thumb;
    ASSERT_TRUE(thumb.DecodeReduced(dng, 8, 8)) << thumb.GetLastError();
    EXPECT_EQ(thumb.GetType(), imaging::kFormatRaw);
    EXPECT_EQ(thumb.Width(), 8u);
    CxImage half;
    ASSERT_TRUE(CxImageRAW::DecodeThumbnail(dng, half, 16, 16)) << half.GetLastError();
    EXPECT_EQ(half.Width(), kSide / 2);
    EXPECT_EQ(half.Height(), kSide / 2);
}

TEST(ImageRAW, BrokenRawFailsCleanly) {
    const auto dng = MakeDng();
    // Cut inside the IFD and inside the mosaic.
    for (std::size_t size : {std::size_t{0}, std::size_t{6}, std::size_t{60}, dng.size() / 2}) {
        SCOPED_TRACE(size);
        CxImage image;
        EXPECT_FALSE(CxImageRAW::Decode({dng.data(), size}, image));
        EXPECT_FALSE(image.GetLastError().empty());
        EXPECT_FALSE(image.IsValid());
    }
    CxImage image;
    const std::vector<std::uint8_t> text = {'n', 'o', 't', ' ', 'r', 'a', 'w'};
    EXPECT_FALSE(CxImageRAW::Decode(text, image));
    EXPECT_EQ(image.GetLastError(), "RAW: not a camera raw file");
}

TEST(ImageRAW, PlainTiffStaysTiff) {
    testsupport::ScopedTestHome home;
    const std::string path = home.Temp() + "/plain.tif";
    ASSERT_TRUE(imagingtest::Convert({imagingtest::MakeColorSource(home.Temp()), path}));
    CxImage image;
    ASSERT_TRUE(image.LoadFile(path)) << image.GetLastError();
    EXPECT_EQ(image.GetType(), imaging::kFormatTif);
    CxImage raw;
    EXPECT_FALSE(CxImageRAW::Decode(imagingtest::ReadBytes(path), raw));
}

} // namespace
