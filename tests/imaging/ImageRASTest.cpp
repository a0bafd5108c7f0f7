// Sun raster: 1-, 8- and 24-bit files, raw and RLE, decode like
// ImageMagick; the RLE escape is read right; broken copies fail cleanly.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

namespace {

void PutBE32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (24 - 8 * i)));
    }
}

TEST(ImageRAS, DecodesLikeImageMagick) {
    testsupport::ScopedTestHome home;
    const std::string color = imagingtest::MakeColorSource(home.Temp());
    const std::string bilevel = imagingtest::MakeBilevelSource(home.Temp());
    struct Case {
        const char* name;
        std::string source;
        std::vector<std::string> options;
    } cases[] = {
        {"24.ras", color, {}},
        {"24rle.ras", color, {"-compress", "RLE"}},
        {"8.ras", color, {"-colors", "20", "-type", "palette"}},
        {"8rle.ras", color, {"-colors", "20", "-type", "palette", "-compress", "RLE"}},
        {"1.ras", bilevel, {"-type", "bilevel"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = home.Temp() + "/" + c.name;
        std::string command = "/usr/bin/convert '" + c.source + "'";
        for (const auto& o : c.options) {
            command += " '" + o + "'";
        }
        ASSERT_EQ(std::system((command + " '" + path + "'").c_str()), 0);
        imagingtest::ExpectLikeMagick(path, imaging::kFormatRas);
        imagingtest::ExpectBrokenCopiesFail(imagingtest::ReadBytes(path), imaging::kFormatRas, 32,
                                            false);
    }
}

TEST(ImageRAS, RunLengthEscapes) {
    // 6 × 1 grey: 0x80 0x00 is one 0x80, 0x80 0x02 0x11 three 0x11.
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t v : {0x59a66a95u, 6u, 1u, 8u, 0u, 2u, 0u, 0u}) {
        PutBE32(bytes, v);
    }
    bytes.insert(bytes.end(), {0x05, 0x80, 0x00, 0x80, 0x02, 0x11, 0x07});
    CxImage image;
    ASSERT_TRUE(image.Decode(bytes, imaging::kFormatRas)) << image.GetLastError();
    const std::uint8_t expected[] = {0x05, 0x80, 0x11, 0x11, 0x11, 0x07};
    for (std::uint32_t x = 0; x < 6; ++x) {
        EXPECT_EQ(image.GetPixelColor(x, 0).red, expected[x]) << x;
    }
}

} // namespace
