// Inputs the fuzz targets found faults with (tests/data/imaging/fuzz/):
// each one now decodes to a whole picture or fails with an error text.

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

TEST(ImageFuzzRegression, EveryFoundInputIsHandled) {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(testsupport::ProjectTestData("imaging/fuzz"))) {
        SCOPED_TRACE(entry.path().filename().string());
        ++count;
        CxImage image;
        if (image.LoadFile(entry.path().string())) {
            EXPECT_TRUE(image.IsValid());
            EXPECT_GT(image.GetHeader().xPelsPerMeter, 0);
        } else {
            EXPECT_FALSE(image.GetLastError().empty());
            EXPECT_FALSE(image.IsValid());
        }
    }
    EXPECT_GE(count, 2u);
}

// A resolution no real file has must not overflow the pixels-per-metre
// figure of the header.
TEST(ImageFuzzRegression, HugeResolutionIsCapped) {
    CxImage image(1, 1, 24);
    image.SetXDPI(30367554);
    EXPECT_EQ(image.GetXDPI(), 30367554);
    EXPECT_EQ(image.GetHeader().xPelsPerMeter, 1195572992); // 30367554 × 10000 / 254
    image.SetYDPI(0x7fffffff);
    EXPECT_EQ(image.GetHeader().yPelsPerMeter, 0x7fffffff);
}

// A tiny bitmap that claims 9000 × 9000 pixels (243 MB) is refused as truncated
// before anything is allocated for it.
TEST(ImageFuzzRegression, HugeUncompressedBitmapIsRefusedUpFront) {
    std::vector<std::uint8_t> bmp = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0};
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bmp.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        }
    };
    put32(9000);
    put32(9000);
    bmp.insert(bmp.end(), {1, 0, 24, 0});
    bmp.resize(54 + 64, 0);
    CxImage image;
    EXPECT_FALSE(image.Decode(bmp, imaging::kFormatBmp));
    EXPECT_EQ(image.GetLastError(), "BMP: file is truncated");
}

} // namespace
