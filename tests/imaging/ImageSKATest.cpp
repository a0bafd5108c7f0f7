// SKA: our own palette format round-trips every palette depth, its layout
// is the documented one, and broken files fail cleanly.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "imaging/Image.h"

#include <gtest/gtest.h>

namespace {

TEST(ImageSKA, RoundTripsPalettePictures) {
    for (std::uint32_t bpp : {1u, 4u, 8u}) {
        SCOPED_TRACE(bpp);
        CxImage source = imagingtest::Pattern(11, 5, bpp);
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(source.Encode(bytes, imaging::kFormatSka)) << source.GetLastError();
        CxImage decoded;
        ASSERT_TRUE(decoded.Decode(bytes)) << decoded.GetLastError();
        EXPECT_EQ(decoded.GetType(), imaging::kFormatSka);
        EXPECT_EQ(decoded.GetBpp(), 8u);
        EXPECT_TRUE(imagingtest::SamePixels(source, decoded));
        imagingtest::ExpectBrokenCopiesFail(bytes, imaging::kFormatSka, 10);
    }
}

TEST(ImageSKA, DocumentedLayout) {
    // 2 × 1, two colours (red, blue), pixels blue then red.
    const std::vector<std::uint8_t> bytes = {'S', 'K', 'A', 0x1a, 2, 0, 1,   0, 2,
                                             0,   255, 0,   0,    0, 0, 255, 1, 0};
    CxImage image;
    ASSERT_TRUE(image.Decode(bytes, imaging::kFormatSka)) << image.GetLastError();
    EXPECT_EQ(image.GetPixelColor(0, 0), MakeRgb(0, 0, 255, 255));
    EXPECT_EQ(image.GetPixelColor(1, 0), MakeRgb(255, 0, 0, 255));
    std::vector<std::uint8_t> written;
    ASSERT_TRUE(image.Encode(written, imaging::kFormatSka));
    // The decoded picture has a 256-entry palette; the rest of the header
    // and the first colours are as read.
    ASSERT_GE(written.size(), 16u);
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin(), written.begin() + 8),
              std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 8));
    EXPECT_EQ(written[8] | (written[9] << 8), 256);
    EXPECT_EQ(std::vector<std::uint8_t>(written.begin() + 10, written.begin() + 16),
              std::vector<std::uint8_t>(bytes.begin() + 10, bytes.begin() + 16));

    auto outside = bytes;
    outside[16] = 2; // only indices 0 and 1 exist
    EXPECT_FALSE(image.Decode(outside, imaging::kFormatSka));
    EXPECT_EQ(image.GetLastError(), "SKA: pixel index outside the palette");
    CxImage rgb = imagingtest::Pattern(2, 2, 24);
    EXPECT_FALSE(rgb.Encode(written, imaging::kFormatSka));
    EXPECT_EQ(rgb.GetLastError(), "SKA: only palette pictures can be written");
}

} // namespace
