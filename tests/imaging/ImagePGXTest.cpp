// PGX: ImageMagick's files decode to its pixels; big- and little-endian,
// signed and deeper samples are scaled to 8 bits; broken copies fail.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<std::uint8_t> Bytes(const std::string& header,
                                std::initializer_list<std::uint8_t> data) {
    std::vector<std::uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), data);
    return out;
}

TEST(ImagePGX, DecodesLikeImageMagick) {
    testsupport::ScopedTestHome home;
    const std::string path = home.Temp() + "/a.pgx";
    ASSERT_TRUE(imagingtest::Convert(
        {imagingtest::MakeColorSource(home.Temp()), "-colorspace", "gray", path}));
    // The samples are 16-bit; rounding to 8 bits may differ by one.
    imagingtest::ExpectLikeMagick(path, imaging::kFormatPgx, 1);
    imagingtest::ExpectBrokenCopiesFail(imagingtest::ReadBytes(path), imaging::kFormatPgx, 16);
}

TEST(ImagePGX, SampleLayouts) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        std::uint8_t first;
        std::uint8_t second;
    } cases[] = {
        {"12-bit big-endian", Bytes("PG ML + 12 2 1\n", {0x0f, 0xff, 0x00, 0x00}), 255, 0},
        {"12-bit little-endian", Bytes("PG LM 12 2 1\n", {0xff, 0x0f, 0x00, 0x08}), 255, 128},
        {"signed 8-bit", Bytes("PG ML -8 2 1\n", {0x80, 0x7f}), 0, 255},
        {"4-bit", Bytes("PG ML +4 2 1\r\n", {0x0f, 0x00}), 255, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CxImage image;
        ASSERT_TRUE(image.Decode(c.bytes, imaging::kFormatPgx)) << image.GetLastError();
        EXPECT_EQ(image.GetPixelColor(0, 0).red, c.first);
        EXPECT_EQ(image.GetPixelColor(1, 0).red, c.second);
    }
    CxImage image;
    EXPECT_FALSE(image.Decode(Bytes("PG ML + 33 1 1\n", {0, 0, 0, 0}), imaging::kFormatPgx));
    EXPECT_EQ(image.GetLastError(), "PGX: unsupported bit depth");
}

} // namespace
