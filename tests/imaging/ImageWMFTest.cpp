// Metafiles: a placeable WMF and an EMF of the same drawing (filled
// shapes, a wide line, text, a stretched bitmap) are played at their own
// size; broken copies fail cleanly.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"
#include "SampleFiles.h"

#include "imaging/Image.h"

#include <gtest/gtest.h>

namespace {

// Pixel (x, y) counted from the top.
RgbQuad At(const CxImage& image, std::uint32_t x, std::uint32_t y) {
    RgbQuad c = image.GetPixelColor(x, image.Height() - 1 - y);
    c.reserved = 0;
    return c;
}

void ExpectTestDrawing(const CxImage& image) {
    ASSERT_EQ(image.Width(), 100u);
    ASSERT_EQ(image.Height(), 60u);
    EXPECT_EQ(image.GetType(), imaging::kFormatWmf);
    const RgbQuad white = MakeRgb(255, 255, 255);
    const RgbQuad black = MakeRgb(0, 0, 0);
    struct Case {
        std::uint32_t x, y;
        RgbQuad color;
        const char* what;
    } cases[] = {
        {30, 20, MakeRgb(255, 0, 0), "rectangle"},
        {11, 11, MakeRgb(255, 0, 0), "rectangle corner"},
        {30, 33, white, "below the rectangle"},
        {75, 25, MakeRgb(0, 0, 255), "ellipse centre"},
        {61, 11, white, "outside the ellipse"},
        {3, 56, MakeRgb(0, 255, 0), "triangle"},
        {18, 42, white, "beside the triangle"},
        {50, 5, black, "line"},
        {50, 4, black, "line width"},
        {50, 8, white, "beside the line"},
        {75, 47, MakeRgb(0, 255, 255), "bitmap top left"},
        {85, 47, MakeRgb(255, 0, 255), "bitmap top right"},
        {75, 52, MakeRgb(0, 255, 0), "bitmap bottom left"},
        {85, 52, MakeRgb(255, 255, 0), "bitmap bottom right"},
        {95, 57, white, "background"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(At(image, c.x, c.y), c.color) << c.what;
    }
    // The text draws dark pixels in its box and nothing left of it.
    int dark = 0;
    for (std::uint32_t y = 34; y < 50; ++y) {
        for (std::uint32_t x = 20; x < 50; ++x) {
            dark += At(image, x, y).red < 100 ? 1 : 0;
        }
        EXPECT_EQ(At(image, 19, y), white);
    }
    EXPECT_GT(dark, 20);
}

TEST(ImageWMF, PlaysPlaceableWmf) {
    CxImage image;
    const auto wmf = imagingtest::MakeTestWmf();
    ASSERT_TRUE(image.Decode(wmf)) << image.GetLastError();
    ExpectTestDrawing(image);
    imagingtest::ExpectBrokenCopiesFail(wmf, imaging::kFormatWmf, 40, false);
}

// The same drawing without the placeable header: the window records that
// open it give its size.
TEST(ImageWMF, PlaysPlainWmfSizedByItsWindow) {
    auto wmf = imagingtest::MakeTestWmf();
    std::vector<std::uint8_t> plain(wmf.begin() + 22, wmf.end());
    const std::vector<std::uint8_t> window = {
        5, 0, 0, 0, 0x0b, 0x02, 0,  0, 0,   0,  // origin 0, 0
        5, 0, 0, 0, 0x0c, 0x02, 60, 0, 100, 0}; // extent 100 × 60
    plain.insert(plain.begin() + 18, window.begin(), window.end());
    plain[6] = static_cast<std::uint8_t>(plain[6] + 10); // the size in words
    CxImage image;
    ASSERT_TRUE(image.Decode(plain)) << image.GetLastError();
    ExpectTestDrawing(image);
    // Without the window records there is no size to draw at.
    std::vector<std::uint8_t> sizeless(wmf.begin() + 22, wmf.end());
    EXPECT_FALSE(image.Decode(sizeless, imaging::kFormatWmf));
    EXPECT_EQ(image.GetLastError(), "WMF: the metafile gives no picture size");
}

TEST(ImageWMF, PlaysEmf) {
    CxImage image;
    const auto emf = imagingtest::MakeTestEmf();
    ASSERT_TRUE(image.Decode(emf)) << image.GetLastError();
    ExpectTestDrawing(image);
    imagingtest::ExpectBrokenCopiesFail(emf, imaging::kFormatWmf, 88, false);
}

TEST(ImageWMF, RejectsBrokenRecords) {
    auto wmf = imagingtest::MakeTestWmf();
    // The first record claims more words than the file holds.
    wmf[40] = 0xff;
    wmf[41] = 0xff;
    CxImage image;
    EXPECT_FALSE(image.Decode(wmf, imaging::kFormatWmf));
    EXPECT_EQ(image.GetLastError(), "WMF: record outside the file");
    auto emf = imagingtest::MakeTestEmf();
    emf[88 + 4] = 3; // a record size that is no multiple of four
    EXPECT_FALSE(image.Decode(emf, imaging::kFormatWmf));
    EXPECT_EQ(image.GetLastError(), "EMF: record outside the file");
}

} // namespace
