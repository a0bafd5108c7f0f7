// The data model of the image object: creation, depths, rows, palettes,
// limits, settings, alpha, selection and deep copies.

#include "ImageTestUtil.h"

#include "imaging/Image.h"

#include <gtest/gtest.h>

TEST(ImageCreate, RoundsDepthAndSizesRowsAndPalette) {
    struct Case {
        std::uint32_t width, requested, bpp, colors;
        std::size_t effWidth;
    } cases[] = {
        {5, 1, 1, 2, 4},   {33, 1, 1, 2, 8},  {3, 2, 4, 16, 4},   {9, 4, 4, 16, 8},
        {3, 5, 8, 256, 4}, {5, 8, 8, 256, 8}, {3, 16, 24, 0, 12}, {1, 24, 24, 0, 4},
        {2, 32, 24, 0, 8}, {4, 0, 1, 2, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.requested);
        CxImage image;
        ASSERT_TRUE(image.Create(c.width, 3, c.requested));
        EXPECT_EQ(image.GetBpp(), c.bpp);
        EXPECT_EQ(image.GetNumColors(), c.colors);
        EXPECT_EQ(image.GetEffWidth(), c.effWidth);
        const BitmapInfoHeader& head = image.GetHeader();
        EXPECT_EQ(head.size, 40u);
        EXPECT_EQ(head.planes, 1);
        EXPECT_EQ(head.width, static_cast<std::int32_t>(c.width));
        EXPECT_EQ(head.height, 3);
        EXPECT_EQ(head.sizeImage, c.effWidth * 3);
        EXPECT_EQ(image.GetBits(1) - image.GetBits(0), static_cast<std::ptrdiff_t>(c.effWidth));
        EXPECT_EQ(image.GetBits(3), nullptr);
    }
}

TEST(ImageCreate, LimitsFailAndLeaveThePictureAlone) {
    EXPECT_TRUE(CxImage::CheckDimensions(32, 1u << 26, 1));        // 2^31 bits
    EXPECT_FALSE(CxImage::CheckDimensions(32, (1u << 26) + 1, 1)); // 2^31 + 32 bits
    EXPECT_TRUE(CxImage::CheckDimensions(1u << 26, 32, 1));
    EXPECT_FALSE(CxImage::CheckDimensions(8, (1u << 28) + 1, 1)); // 2^31 + 8 bits
    // Rows are padded to 32 bits: one pixel wide, 2^28 rows is 2^28 bits of
    // pixels but 2^33 bits of storage.
    EXPECT_FALSE(CxImage::CheckDimensions(1, 1u << 28, 1));
    EXPECT_FALSE(CxImage::CheckDimensions(1, 2046820335, 1));
    EXPECT_FALSE(CxImage::CheckDimensions(100000, 100000, 24));
    EXPECT_FALSE(CxImage::CheckDimensions(0, 10, 8));
    EXPECT_FALSE(CxImage::CheckDimensions(1ull << 40, 1ull << 40, 24));

    CxImage image(4, 4, 24);
    image.SetPixelColor(1, 1, MakeRgb(1, 2, 3));
    for (auto [w, h] : {std::pair<std::uint32_t, std::uint32_t>{0, 5}, {5, 0}, {100000, 100000}}) {
        EXPECT_FALSE(image.Create(w, h, 24));
        EXPECT_FALSE(image.GetLastError().empty());
        EXPECT_EQ(image.Width(), 4u);
        EXPECT_EQ(image.GetPixelColor(1, 1), MakeRgb(1, 2, 3, 255));
    }
}

TEST(ImageCreate, DefaultsOfTheSettings) {
    CxImage image(2, 2, 8, imaging::kFormatPng);
    EXPECT_FLOAT_EQ(image.GetJpegQuality(), 95.0f);
    EXPECT_EQ(image.GetXDPI(), 96);
    EXPECT_EQ(image.GetYDPI(), 96);
    EXPECT_EQ(image.GetTransIndex(), -1);
    EXPECT_FALSE(image.IsTransparent());
    EXPECT_EQ(image.AlphaGetMax(), 255);
    EXPECT_EQ(image.GetType(), imaging::kFormatPng);
    EXPECT_EQ(image.GetProgress(), 0);
    EXPECT_FALSE(image.GetEscape());
    EXPECT_TRUE(image.IsGrayScale());
    EXPECT_FALSE(image.AlphaIsValid());
    EXPECT_FALSE(image.SelectionIsValid());
}

TEST(ImageCreate, ResolutionGoesIntoTheHeader) {
    CxImage image(2, 2, 24);
    EXPECT_EQ(image.GetHeader().xPelsPerMeter, 3779); // 96 dpi
    image.SetXDPI(300);
    EXPECT_EQ(image.GetHeader().xPelsPerMeter, 11811);
    image.SetYDPI(0x7fffffff); // a file's absurd claim saturates
    EXPECT_EQ(image.GetYDPI(), 0x7fffffff);
    EXPECT_EQ(image.GetHeader().yPelsPerMeter, 0x7fffffff);
    image.SetXDPI(-5);
    EXPECT_EQ(image.GetXDPI(), 96);
}

TEST(ImagePixels, RowsAreBottomUpAndPacked) {
    CxImage one(10, 2, 1);
    one.SetPixelIndex(0, 0, 1);
    one.SetPixelIndex(9, 1, 1);
    EXPECT_EQ(one.GetBits(0)[0], 0x80);
    EXPECT_EQ(one.GetBits(1)[1], 0x40);
    EXPECT_EQ(one.GetPixelIndex(9, 1), 1);

    CxImage four(3, 1, 4);
    four.SetPixelIndex(0, 0, 0xa);
    four.SetPixelIndex(1, 0, 0x5);
    four.SetPixelIndex(2, 0, 0xf);
    EXPECT_EQ(four.GetBits(0)[0], 0xa5);
    EXPECT_EQ(four.GetBits(0)[1], 0xf0);

    CxImage rgb(2, 2, 24);
    rgb.SetPixelColor(1, 0, MakeRgb(10, 20, 30));
    const std::uint8_t* row = rgb.GetBits(0);
    EXPECT_EQ(row[3], 30); // blue first
    EXPECT_EQ(row[5], 10);
    // Out of range is ignored and reads black.
    rgb.SetPixelColor(5, 5, MakeRgb(1, 1, 1));
    EXPECT_EQ(rgb.GetPixelColor(-1, 0), RgbQuad{});
}

TEST(ImagePixels, PaletteColoursMapToTheNearestEntry) {
    CxImage image(2, 1, 4);
    image.SetPaletteColor(3, MakeRgb(200, 10, 10));
    image.SetPixelColor(0, 0, MakeRgb(190, 20, 0));
    EXPECT_EQ(image.GetPixelIndex(0, 0), 3);
    EXPECT_FALSE(image.IsGrayScale());
}

TEST(ImageCopy, CopiesAreDeep) {
    CxImage source = imagingtest::Pattern(7, 5, 24);
    source.AlphaCreate();
    source.AlphaSet(2, 2, 17);
    source.AddSelectionRect(ImageRect{1, 4, 3, 1}, 255);
    source.SetJpegQuality(70);
    source.SetTransIndex(3);
    CxImage copy;
    copy.CopyFrom(source);
    source.SetPixelColor(0, 0, MakeRgb(1, 1, 1));
    source.AlphaSet(2, 2, 99);
    source.DeleteSelection();
    EXPECT_NE(copy.GetPixelColor(0, 0), source.GetPixelColor(0, 0));
    EXPECT_EQ(copy.AlphaGet(2, 2), 17);
    ASSERT_TRUE(copy.SelectionIsValid());
    EXPECT_EQ(copy.SelectionBox(), (ImageRect{1, 4, 3, 1}));
    EXPECT_FLOAT_EQ(copy.GetJpegQuality(), 70.0f);
    EXPECT_EQ(copy.GetTransIndex(), 3);

    CxImage assigned = copy;
    copy.SetPixelColor(1, 1, MakeRgb(9, 9, 9));
    EXPECT_NE(assigned.GetPixelColor(1, 1), copy.GetPixelColor(1, 1));
}

TEST(ImageSelection, LevelsRectanglesAndBox) {
    CxImage image(10, 8, 24);
    EXPECT_FALSE(image.SetSelectionLevel(255)); // no mask yet
    // Corners in any order; clamped to the picture.
    ASSERT_TRUE(image.AddSelectionRect(ImageRect{12, 1, 6, 3}, 200));
    EXPECT_EQ(image.SelectionBox(), (ImageRect{6, 3, 10, 1}));
    EXPECT_EQ(image.SelectionGet(6, 1), 200);
    EXPECT_EQ(image.SelectionGet(9, 2), 200);
    EXPECT_EQ(image.SelectionGet(5, 1), 0);
    EXPECT_EQ(image.SelectionGet(6, 3), 0);
    ASSERT_TRUE(image.AddSelectionRect(ImageRect{0, 8, 1, 7}, 255));
    EXPECT_EQ(image.SelectionBox(), (ImageRect{0, 8, 10, 1}));

    ASSERT_TRUE(image.SetSelectionLevel(0));
    EXPECT_EQ(image.SelectionBox(), (ImageRect{10, 0, 0, 8}));
    EXPECT_EQ(image.SelectionGet(6, 1), 0);
    ASSERT_TRUE(image.SetSelectionLevel(7));
    EXPECT_EQ(image.SelectionBox(), (ImageRect{0, 8, 10, 0}));
    EXPECT_TRUE(image.SelectionIsInside(3, 3));
    image.DeleteSelection();
    EXPECT_FALSE(image.SelectionIsValid());
    EXPECT_TRUE(image.SelectionIsInside(3, 3));
}

TEST(ImageDepth, WideningKeepsColoursAndNarrowingMapsToThePalette) {
    CxImage image = imagingtest::Pattern(9, 4, 4);
    CxImage wide(image);
    ASSERT_TRUE(wide.IncreaseBpp(24));
    EXPECT_EQ(wide.GetBpp(), 24u);
    EXPECT_TRUE(imagingtest::SamePixels(image, wide));
    const std::vector<RgbQuad> palette(image.GetPalette().begin(), image.GetPalette().end());
    ASSERT_TRUE(wide.DecreaseBpp(4, palette));
    EXPECT_EQ(wide.GetBpp(), 4u);
    EXPECT_TRUE(imagingtest::SamePixels(image, wide));
}
