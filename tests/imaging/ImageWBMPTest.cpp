// WBMP: ImageMagick's type 0 files decode to its pixels, multi-byte sizes
// are read, and broken copies fail cleanly.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

namespace {

TEST(ImageWBMP, DecodesLikeImageMagick) {
    testsupport::ScopedTestHome home;
    const std::string path = home.Temp() + "/a.wbmp";
    ASSERT_TRUE(imagingtest::Convert({imagingtest::MakeBilevelSource(home.Temp()), path}));
    imagingtest::ExpectLikeMagick(path, imaging::kFormatWbmp);
    imagingtest::ExpectBrokenCopiesFail(imagingtest::ReadBytes(path), imaging::kFormatWbmp, 4);
}

TEST(ImageWBMP, MultiByteWidth) {
    // Width 130 = 0x81 0x02, height 1; the row is 17 bytes, white at x = 129.
    std::vector<std::uint8_t> bytes = {0, 0, 0x81, 0x02, 1};
    bytes.resize(bytes.size() + 17, 0);
    bytes.back() = 0x40;
    CxImage image;
    ASSERT_TRUE(image.Decode(bytes, imaging::kFormatWbmp)) << image.GetLastError();
    EXPECT_EQ(image.Width(), 130u);
    EXPECT_EQ(image.GetPixelColor(129, 0).red, 255);
    EXPECT_EQ(image.GetPixelColor(128, 0).red, 0);
    bytes[0] = 1; // only type 0 exists
    EXPECT_FALSE(image.Decode(bytes, imaging::kFormatWbmp));
}

} // namespace
