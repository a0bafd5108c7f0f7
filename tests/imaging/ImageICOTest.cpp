// ICO: ImageMagick's icons (32-bit with alpha, palette, PNG-compressed
// 256 × 256) decode to its pixels; the largest entry of a directory is
// taken; the AND mask becomes transparency; broken copies fail cleanly.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

namespace {

void Put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    Put16(b, v & 0xffff);
    Put16(b, v >> 16);
}

TEST(ImageICO, DecodesLikeImageMagick) {
    testsupport::ScopedTestHome home;
    const std::string color = imagingtest::MakeColorSource(home.Temp());
    const std::string translucent = home.Temp() + "/translucent.png";
    ASSERT_TRUE(imagingtest::Convert({color, "-alpha", "set", "-channel", "A", "-fx",
                                      "i/w > 0.5 ? 1 : 0", "+channel", translucent}));
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int tolerance;
    } cases[] = {
        {"alpha.ico", {translucent}, 0},
        {"opaque.ico", {color}, 0},
        {"png256.ico", {"-size", "256x256", "gradient:green-white"}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = home.Temp() + "/" + c.name;
        std::string command = "/usr/bin/convert";
        for (const auto& a : c.args) {
            command += " '" + a + "'";
        }
        ASSERT_EQ(std::system((command + " '" + path + "'").c_str()), 0);
        // The PNG entry is read by the PNG decoder, whose 16-to-8-bit
        // rounding may differ by one.
        imagingtest::ExpectLikeMagick(path, imaging::kFormatIco, c.tolerance);
        imagingtest::ExpectBrokenCopiesFail(imagingtest::ReadBytes(path), imaging::kFormatIco, 22,
                                            false);
    }
}

TEST(ImageICO, TakesTheLargestEntry) {
    testsupport::ScopedTestHome home;
    const std::string path = home.Temp() + "/sizes.ico";
    ASSERT_TRUE(imagingtest::Convert(
        {"-size", "64x64", "xc:navy", "-define", "icon:auto-resize=16,48,32", path}));
    CxImage image;
    ASSERT_TRUE(image.LoadFile(path)) << image.GetLastError();
    EXPECT_EQ(image.GetType(), imaging::kFormatIco);
    EXPECT_EQ(image.Width(), 48u);
    EXPECT_EQ(image.Height(), 48u);
    EXPECT_EQ(image.GetPixelColor(10, 10).blue, 128);
}

// A 1-bit 2 × 2 icon: palette black and white, XOR rows then the AND mask.
TEST(ImageICO, AndMaskIsTransparency) {
    std::vector<std::uint8_t> bytes;
    Put16(bytes, 0);
    Put16(bytes, 1);
    Put16(bytes, 1);
    const std::uint32_t dibSize = 40 + 8 + 8 + 8;
    bytes.insert(bytes.end(), {2, 2, 2, 0});
    Put16(bytes, 1);
    Put16(bytes, 1);
    Put32(bytes, dibSize);
    Put32(bytes, 22);
    Put32(bytes, 40);
    Put32(bytes, 2);
    Put32(bytes, 4); // XOR and AND bitmaps
    Put16(bytes, 1);
    Put16(bytes, 1);
    bytes.resize(bytes.size() + 24, 0);
    bytes.insert(bytes.end(), {0, 0, 0, 0, 255, 255, 255, 0});
    bytes.insert(bytes.end(), {0x40, 0, 0, 0, 0x80, 0, 0, 0}); // bottom row 01, top row 10
    bytes.insert(bytes.end(), {0x80, 0, 0, 0, 0x00, 0, 0, 0}); // bottom-left transparent
    CxImage image;
    ASSERT_TRUE(image.Decode(bytes, imaging::kFormatIco)) << image.GetLastError();
    ASSERT_EQ(image.Width(), 2u);
    ASSERT_EQ(image.Height(), 2u);
    EXPECT_EQ(image.GetBpp(), 1u);
    EXPECT_EQ(image.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(image.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(image.GetPixelIndex(0, 1), 1);
    ASSERT_TRUE(image.AlphaIsValid());
    EXPECT_EQ(image.AlphaGet(0, 0), 0);
    EXPECT_EQ(image.AlphaGet(1, 0), 255);
    EXPECT_EQ(image.AlphaGet(0, 1), 255);
}

} // namespace
