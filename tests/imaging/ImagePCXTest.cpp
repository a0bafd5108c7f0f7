// PCX: files of every depth ImageMagick writes (1-bit, 16 and 256 colours,
// 24-bit, RLE) decode to ImageMagick's pixels; broken copies fail cleanly.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

namespace {

TEST(ImagePCX, DecodesEveryDepthLikeImageMagick) {
    testsupport::ScopedTestHome home;
    const std::string color = imagingtest::MakeColorSource(home.Temp());
    const std::string bilevel = imagingtest::MakeBilevelSource(home.Temp());
    struct Case {
        const char* name;
        std::string source;
        std::vector<std::string> options;
    } cases[] = {
        {"24.pcx", color, {}},
        {"256.pcx", color, {"-colors", "40", "-type", "palette"}},
        {"16.pcx", color, {"-colors", "9", "-type", "palette"}},
        {"bw.pcx", bilevel, {"-type", "bilevel"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = home.Temp() + "/" + c.name;
        std::string command = "/usr/bin/convert '" + c.source + "'";
        for (const auto& o : c.options) {
            command += " '" + o + "'";
        }
        ASSERT_EQ(std::system((command + " '" + path + "'").c_str()), 0);
        imagingtest::ExpectLikeMagick(path, imaging::kFormatPcx);
        imagingtest::ExpectBrokenCopiesFail(imagingtest::ReadBytes(path), imaging::kFormatPcx, 128,
                                            false);
    }
}

// A hand-made 4 × 2 picture of two 1-bit planes (four EGA colours); bytes
// of 0xc0 and above have to be coded as runs of one.
TEST(ImagePCX, PlanarEgaPictures) {
    std::vector<std::uint8_t> bytes(128, 0);
    bytes[0] = 0x0a;
    bytes[1] = 5;
    bytes[2] = 1;
    bytes[3] = 1;
    bytes[8] = 3;  // x max
    bytes[10] = 1; // y max
    const std::uint8_t ega[4][3] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 0}};
    for (int i = 0; i < 4; ++i) {
        for (int c = 0; c < 3; ++c) {
            bytes[16 + i * 3 + c] = ega[i][c];
        }
    }
    bytes[65] = 2; // planes
    bytes[66] = 2; // bytes per line
    // Row 0: plane 0 = 1010…, plane 1 = 1100…; row 1: both planes 1111….
    const std::uint8_t data[] = {0xa0, 0x00, 0xc1, 0xc0, 0x00, 0xc1, 0xf0, 0x00, 0xc1, 0xf0, 0x00};
    bytes.insert(bytes.end(), std::begin(data), std::end(data));
    CxImage image;
    ASSERT_TRUE(image.Decode(bytes, imaging::kFormatPcx)) << image.GetLastError();
    ASSERT_EQ(image.Width(), 4u);
    ASSERT_EQ(image.Height(), 2u);
    const std::uint8_t top[] = {3, 2, 1, 0}; // plane 0 is the low bit
    for (std::uint32_t x = 0; x < 4; ++x) {
        EXPECT_EQ(image.GetPixelIndex(x, 1), top[x]) << x;
        EXPECT_EQ(image.GetPixelIndex(x, 0), 3) << x;
    }
    EXPECT_EQ(image.GetPixelColor(1, 1).green, 255);
    EXPECT_EQ(image.GetPixelColor(1, 1).red, 0);
}

} // namespace
