// Camera raw: a minimal DNG written by hand (a 32 × 32 Bayer mosaic of
// 16-bit samples) is demosaiced at full size and decoded at half size for
// thumbnails; a broken raw fails cleanly, and plain TIFF files are still
// left to the TIFF decoder.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"
#include "SampleFiles.h"

#include "TestEnv.h"
#include "imaging/Image.h"
#include "imaging/ImageRAW.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::uint32_t kSide = imagingtest::kTestDngSide;

TEST(ImageRAW, DemosaicsAHandMadeDng) {
    const auto dng = imagingtest::MakeTestDng();
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
    const auto dng = imagingtest::MakeTestDng();
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
    const auto dng = imagingtest::MakeTestDng();
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
