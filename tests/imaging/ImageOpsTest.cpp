// The pixel operations of the image object and their computations.

#include "ImageTestUtil.h"

#include "imaging/Image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>

using imagingtest::Pattern;
using imagingtest::SamePixels;

namespace {

CxImage Uniform(std::uint32_t w, std::uint32_t h, RgbQuad colour) {
    CxImage image(w, h, 24);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            image.SetPixelColor(x, y, colour);
        }
    }
    return image;
}

CxImage GreyUniform(std::uint32_t w, std::uint32_t h, std::uint8_t value) {
    CxImage image(w, h, 8);
    for (std::uint32_t y = 0; y < h; ++y) {
        for (std::uint32_t x = 0; x < w; ++x) {
            image.SetPixelIndex(x, y, value);
        }
    }
    return image;
}

// Straightforward blur of one channel: rows, then columns, each renormalised
// at the ends and rounded half up.
std::vector<int> ReferenceBlur(const std::vector<int>& in, int w, int h,
                               const std::vector<float>& kernel) {
    const int half = static_cast<int>(kernel.size()) / 2;
    auto pass = [&](const std::vector<int>& src, bool rows) {
        std::vector<int> out(src.size());
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                double sum = 0, weight = 0;
                for (int k = 0; k < static_cast<int>(kernel.size()); ++k) {
                    const int sx = rows ? x + k - half : x, sy = rows ? y : y + k - half;
                    if (sx < 0 || sy < 0 || sx >= w || sy >= h) {
                        continue;
                    }
                    sum += kernel[static_cast<std::size_t>(k)] *
                           src[static_cast<std::size_t>(sy * w + sx)];
                    weight += kernel[static_cast<std::size_t>(k)];
                }
                out[static_cast<std::size_t>(y * w + x)] =
                    static_cast<int>(std::floor(sum / weight + 0.5));
            }
        }
        return out;
    };
    return pass(pass(in, true), false);
}

const std::vector<std::int32_t> kSharpen = {-1, -1, -1, -1, 15, -1, -1, -1, -1};

} // namespace

TEST(GaussianKernel, SizesAndShape) {
    struct Case {
        float radius;
        std::size_t cells;
    } cases[] = {{0, 1}, {1, 3}, {2, 5}, {5, 11}, {10, 21}, {-10, 21}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radius);
        const std::vector<float> k = CxImage::GaussianKernel(c.radius);
        ASSERT_EQ(k.size(), c.cells);
        EXPECT_NEAR(std::accumulate(k.begin(), k.end(), 0.0), 1.0, 1e-5);
        for (std::size_t i = 0; i < k.size() / 2; ++i) {
            EXPECT_FLOAT_EQ(k[i], k[k.size() - 1 - i]);
            EXPECT_LT(k[i], k[i + 1]); // rising to a peak at the centre
        }
    }
    // Radius 1: sigma 0.75, reach 1.5; the outer cells average exp(-t²/1.125)
    // over t in (0.5, 1.5].
    const std::vector<float> k = CxImage::GaussianKernel(1);
    double outer = 0, centre = 0;
    for (int j = 1; j <= 50; ++j) {
        outer += std::exp(-std::pow(0.5 + 0.02 * j, 2) / 1.125) / 50;
    }
    for (int j = 0; j <= 50; ++j) {
        centre += std::exp(-std::pow(-0.5 + 0.02 * j, 2) / 1.125) / 51;
    }
    EXPECT_NEAR(k[0], outer / (2 * outer + centre), 1e-6);
    EXPECT_NEAR(k[1], centre / (2 * outer + centre), 1e-6);
}

TEST(GaussianBlur, MatchesTheSeparableComputation) {
    CxImage image = Pattern(13, 9, 24);
    CxImage blurred(image);
    ASSERT_TRUE(blurred.GaussianBlur(3));
    EXPECT_EQ(blurred.GetProgress(), 100);
    const std::vector<float> kernel = CxImage::GaussianKernel(3);
    for (int c = 0; c < 3; ++c) {
        std::vector<int> channel;
        for (std::uint32_t y = 0; y < 9; ++y) {
            for (std::uint32_t x = 0; x < 13; ++x) {
                channel.push_back(image.GetBits(y)[3 * x + static_cast<std::uint32_t>(c)]);
            }
        }
        const std::vector<int> expected = ReferenceBlur(channel, 13, 9, kernel);
        for (std::uint32_t y = 0; y < 9; ++y) {
            for (std::uint32_t x = 0; x < 13; ++x) {
                // Float sums against double sums may differ at an exact half.
                EXPECT_NEAR(blurred.GetBits(y)[3 * x + static_cast<std::uint32_t>(c)],
                            expected[y * 13 + x], 1)
                    << x << "," << y;
            }
        }
    }
}

TEST(GaussianBlur, KeepsUniformPicturesAndRestoresOutsideTheSelection) {
    // Edge renormalisation keeps a flat picture flat, even with a kernel
    // longer than the picture.
    for (auto [w, h, r] : {std::tuple{20u, 15u, 5.0f}, std::tuple{2u, 3u, 10.0f}}) {
        CxImage flat = Uniform(w, h, MakeRgb(90, 140, 200));
        CxImage blurred(flat);
        ASSERT_TRUE(blurred.GaussianBlur(r));
        EXPECT_TRUE(SamePixels(flat, blurred));
    }
    // A checkerboard (a linear pattern would come through a symmetric
    // kernel unchanged).
    CxImage image(20, 20, 24);
    for (std::uint32_t y = 0; y < 20; ++y) {
        for (std::uint32_t x = 0; x < 20; ++x) {
            const std::uint8_t v = ((x + y) & 1) ? 255 : 0;
            image.SetPixelColor(x, y, MakeRgb(v, v, v));
        }
    }
    image.AddSelectionRect(ImageRect{5, 15, 15, 5}, 255);
    CxImage blurred(image);
    ASSERT_TRUE(blurred.GaussianBlur(4));
    EXPECT_EQ(blurred.GetPixelColor(2, 2), image.GetPixelColor(2, 2));
    EXPECT_EQ(blurred.GetPixelColor(15, 15), image.GetPixelColor(15, 15));
    EXPECT_NE(blurred.GetPixelColor(10, 10), image.GetPixelColor(10, 10));
}

TEST(GaussianBlur, PalettePicturesKeepTheirDepthAndPalette) {
    CxImage image = Pattern(16, 16, 4);
    CxImage blurred(image);
    ASSERT_TRUE(blurred.GaussianBlur(2));
    EXPECT_EQ(blurred.GetBpp(), 4u);
    EXPECT_TRUE(std::equal(image.GetPalette().begin(), image.GetPalette().end(),
                           blurred.GetPalette().begin()));
    CxImage grey = GreyUniform(8, 8, 77);
    ASSERT_TRUE(grey.GaussianBlur(2));
    EXPECT_EQ(grey.GetBpp(), 8u);
    EXPECT_EQ(grey.GetPixelIndex(0, 0), 77);
}

TEST(Convolve, SharpeningUniformGreyChangesNothingAtEdgesAndCorners) {
    for (std::uint8_t v : {0, 1, 128, 200, 255}) {
        SCOPED_TRACE(int{v});
        CxImage rgb = Uniform(6, 5, MakeRgb(v, v, v));
        CxImage sharpened(rgb);
        ASSERT_TRUE(sharpened.Convolve(kSharpen, 3, 7, 0));
        EXPECT_TRUE(SamePixels(rgb, sharpened));
        CxImage grey = GreyUniform(6, 5, v);
        CxImage sharpenedGrey(grey);
        ASSERT_TRUE(sharpenedGrey.Convolve(kSharpen, 3, 7, 0));
        EXPECT_TRUE(SamePixels(grey, sharpenedGrey));
    }
}

TEST(Convolve, EdgeRuleDivisorAndOffset) {
    // 3 × 3 grey picture, values 10 … 90 row by row from the top.
    CxImage image(3, 3, 8);
    for (std::uint32_t y = 0; y < 3; ++y) {
        for (std::uint32_t x = 0; x < 3; ++x) {
            image.SetPixelIndex(x, 2 - y, static_cast<std::uint8_t>(10 * (3 * y + x + 1)));
        }
    }
    const std::vector<std::int32_t> box(9, 1); // T = 9
    CxImage mean(image);
    ASSERT_TRUE(mean.Convolve(box, 3, 9, 0));
    EXPECT_EQ(mean.GetPixelIndex(1, 1), 50); // C = T: S / d = 450 / 9
    EXPECT_EQ(mean.GetPixelIndex(0, 2), (10 + 20 + 40 + 50) * 9 / (9 * 4)); // corner, C = 4
    EXPECT_EQ(mean.GetPixelIndex(1, 2), (10 + 20 + 30 + 40 + 50 + 60) * 9 / (9 * 6));

    const std::vector<std::int32_t> identity = {0, 0, 0, 0, 1, 0, 0, 0, 0};
    CxImage offset(image);
    ASSERT_TRUE(offset.Convolve(identity, 3, 1, 300)); // clamped
    EXPECT_EQ(offset.GetPixelIndex(1, 1), 255);
    CxImage noDivisor(image);
    ASSERT_TRUE(noDivisor.Convolve(box, 3, 0, -100)); // o + S
    EXPECT_EQ(noDivisor.GetPixelIndex(1, 1), 255);
    EXPECT_EQ(noDivisor.GetPixelIndex(0, 2), 20); // -100 + 120

    CxImage unchanged(image);
    EXPECT_FALSE(unchanged.Convolve(std::vector<std::int32_t>(4, 1), 2, 1, 0));
    EXPECT_FALSE(unchanged.Convolve(box, 5, 1, 0));
    EXPECT_TRUE(SamePixels(image, unchanged));
}

TEST(AdjustLight, TableComputation) {
    const std::vector<std::uint8_t> identity = CxImage::LightTable(0, 0);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(identity[static_cast<std::size_t>(i)], i);
    }
    for (int b : {-200, -50, 0, 50, 127, 200}) {
        const std::vector<std::uint8_t> flat = CxImage::LightTable(b, -100);
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(flat[static_cast<std::size_t>(i)], std::clamp(128 + b, 0, 255)) << b;
        }
    }
    const std::vector<std::uint8_t> t = CxImage::LightTable(10, 50);
    EXPECT_EQ(t[0], 0);     // -53.5 truncated, clamped
    EXPECT_EQ(t[200], 246); // 72 × 1.5 + 138.5 = 246.5
    EXPECT_EQ(t[128], 138);
}

TEST(AdjustLight, AppliesToPixelsInTheSelectionOrToThePalette) {
    CxImage image = Uniform(4, 4, MakeRgb(100, 150, 200));
    image.AddSelectionRect(ImageRect{0, 2, 4, 0}, 255); // bottom half
    ASSERT_TRUE(image.AdjustLight(20, 0));
    EXPECT_EQ(image.GetPixelColor(0, 0), MakeRgb(120, 170, 220, 255));
    EXPECT_EQ(image.GetPixelColor(0, 3), MakeRgb(100, 150, 200, 255));

    CxImage palette = Pattern(4, 4, 8);
    const RgbQuad before = palette.GetPaletteColor(5);
    ASSERT_TRUE(palette.AdjustLight(0, -100));
    EXPECT_EQ(palette.GetPaletteColor(5), MakeRgb(128, 128, 128));
    EXPECT_NE(before, palette.GetPaletteColor(5));
}

TEST(ToGrayscale, WeightsAndResultDepth) {
    struct Case {
        RgbQuad colour;
        std::uint8_t grey;
    } cases[] = {{MakeRgb(255, 255, 255), 255},
                 {MakeRgb(255, 0, 0), 76},
                 {MakeRgb(0, 255, 0), 149},
                 {MakeRgb(0, 0, 255), 29},
                 {MakeRgb(0, 0, 0), 0}};
    for (const Case& c : cases) {
        CxImage image = Uniform(2, 2, c.colour);
        ASSERT_TRUE(image.ToGrayscale());
        EXPECT_EQ(image.GetBpp(), 8u);
        EXPECT_TRUE(image.IsGrayScale());
        EXPECT_EQ(image.GetPixelIndex(1, 1), c.grey);
    }
    CxImage four = Pattern(5, 3, 4);
    const RgbQuad c = four.GetPixelColor(2, 1);
    ASSERT_TRUE(four.ToGrayscale());
    EXPECT_EQ(four.GetBpp(), 8u);
    EXPECT_EQ(four.GetPixelIndex(2, 1), (306 * c.red + 601 * c.green + 117 * c.blue) >> 10);
}

TEST(Invert, PixelsPalettesAndGreyIndices) {
    CxImage image = Pattern(6, 4, 24);
    image.SetBkColor(MakeRgb(10, 20, 30));
    CxImage inverted(image);
    ASSERT_TRUE(inverted.Invert());
    const RgbQuad a = image.GetPixelColor(3, 2), b = inverted.GetPixelColor(3, 2);
    EXPECT_EQ(b.red, 255 - a.red);
    EXPECT_EQ(b.blue, 255 - a.blue);
    EXPECT_EQ(inverted.GetBkColor(), MakeRgb(245, 235, 225));
    ASSERT_TRUE(inverted.Invert());
    EXPECT_TRUE(SamePixels(image, inverted));

    CxImage palette = Pattern(6, 4, 8);
    const RgbQuad entry = palette.GetPaletteColor(7);
    ASSERT_TRUE(palette.Invert());
    EXPECT_EQ(palette.GetPaletteColor(7).green, 255 - entry.green);

    CxImage grey = GreyUniform(3, 3, 40);
    grey.AddSelectionRect(ImageRect{0, 1, 3, 0}, 1);
    ASSERT_TRUE(grey.Invert());
    EXPECT_EQ(grey.GetPixelIndex(0, 0), 215);
    EXPECT_EQ(grey.GetPixelIndex(0, 2), 40);
    EXPECT_TRUE(grey.IsGrayScale());
}

TEST(ShiftChannels, ClampsAndHonoursTheSelection) {
    CxImage image = Uniform(3, 3, MakeRgb(250, 5, 100));
    image.AddSelectionRect(ImageRect{0, 3, 1, 0}, 255); // left column
    ASSERT_TRUE(image.ShiftChannels(10, -10, 0));
    EXPECT_EQ(image.GetPixelColor(0, 1), MakeRgb(255, 0, 100, 255));
    EXPECT_EQ(image.GetPixelColor(2, 1), MakeRgb(250, 5, 100, 255));
    CxImage palette = Pattern(3, 3, 4);
    const RgbQuad entry = palette.GetPaletteColor(2);
    ASSERT_TRUE(palette.ShiftChannels(-255, 0, 255));
    EXPECT_EQ(palette.GetPaletteColor(2), MakeRgb(0, entry.green, 255));
}

TEST(CropTo, InsidePartOnlyAndEmptyRectanglesFail) {
    CxImage image = Pattern(10, 8, 24);
    image.AlphaCreate();
    image.AlphaSet(1, 7, 33); // top-down (1, 0)
    CxImage cropped(image);
    ASSERT_TRUE(cropped.CropTo(-5, -3, 4, 5));
    ASSERT_EQ(cropped.Width(), 4u);
    ASSERT_EQ(cropped.Height(), 5u);
    // Top-down (x, y) of the result is top-down (x, y) of the source.
    for (std::uint32_t y = 0; y < 5; ++y) {
        for (std::uint32_t x = 0; x < 4; ++x) {
            EXPECT_EQ(cropped.GetPixelColor(x, 4 - y), image.GetPixelColor(x, 7 - y));
        }
    }
    EXPECT_EQ(cropped.AlphaGet(1, 4), 33);

    CxImage swapped(image);
    ASSERT_TRUE(swapped.CropTo(9, 6, 3, 2));
    EXPECT_EQ(swapped.Width(), 6u);
    EXPECT_EQ(swapped.GetPixelColor(0, 3), image.GetPixelColor(3, 7 - 2));

    for (auto r : {ImageRect{3, 1, 3, 5}, ImageRect{1, 4, 6, 4}, ImageRect{12, 0, 20, 8}}) {
        CxImage unchanged(image);
        EXPECT_FALSE(unchanged.CropTo(r.left, r.top, r.right, r.bottom));
        EXPECT_TRUE(SamePixels(image, unchanged, true));
        EXPECT_EQ(unchanged.Width(), 10u);
    }
    CxImage bits = Pattern(13, 5, 1);
    ASSERT_TRUE(bits.CropTo(3, 1, 12, 4));
    EXPECT_EQ(bits.GetPixelIndex(0, 0), Pattern(13, 5, 1).GetPixelIndex(3, 1));
}

TEST(Rotate, QuarterTurnsMoveCornersAndPlanes) {
    for (std::uint32_t bpp : {1u, 4u, 8u, 24u}) {
        SCOPED_TRACE(bpp);
        CxImage image = Pattern(5, 3, bpp);
        image.AlphaCreate();
        image.AlphaSet(4, 2, 7); // top-right corner
        CxImage left(image);
        ASSERT_TRUE(left.RotateLeft90());
        ASSERT_EQ(left.Width(), 3u);
        ASSERT_EQ(left.Height(), 5u);
        // Counter-clockwise: the top-right corner becomes the top-left.
        EXPECT_EQ(left.GetPixelColor(0, 4), image.GetPixelColor(4, 2));
        EXPECT_EQ(left.GetPixelColor(0, 0), image.GetPixelColor(0, 2));
        EXPECT_EQ(left.AlphaGet(0, 4), 7);
        CxImage right(image);
        ASSERT_TRUE(right.RotateRight90());
        // Clockwise: the top-left corner becomes the top-right.
        EXPECT_EQ(right.GetPixelColor(2, 4), image.GetPixelColor(0, 2));
        ASSERT_TRUE(right.RotateLeft90());
        EXPECT_TRUE(SamePixels(image, right, true));
    }
}

TEST(RemoveRedEye, StrongestAtTheCentreAndNeedsABox) {
    CxImage image = Uniform(11, 11, MakeRgb(200, 40, 60));
    image.AddSelectionRect(ImageRect{0, 11, 11, 0}, 255);
    ASSERT_TRUE(image.RemoveRedEye());
    // Centre (5.5, 5.5) of the box; pixel (5, 5) is at distance² 0.5 of an
    // area of 121: a = 1 - 2.5 / 121.
    const double a = 1 - 5 * 0.5 / 121;
    EXPECT_EQ(image.GetPixelColor(5, 5).red, static_cast<int>(a * 40 + (1 - a) * 200));
    EXPECT_EQ(image.GetPixelColor(0, 0).red, 200); // a clamped to 0
    EXPECT_EQ(image.GetPixelColor(5, 5).green, 40);

    CxImage empty = Uniform(4, 4, MakeRgb(200, 40, 60));
    empty.AddSelectionRect(ImageRect{0, 4, 4, 0}, 255);
    empty.SetSelectionLevel(0);
    EXPECT_FALSE(empty.RemoveRedEye());
    EXPECT_EQ(empty.GetPixelColor(2, 2).red, 200);
}

TEST(ResampleTo, AreaAveragingCubicAndAlpha) {
    CxImage image(4, 2, 24);
    for (std::uint32_t x = 0; x < 4; ++x) {
        for (std::uint32_t y = 0; y < 2; ++y) {
            image.SetPixelColor(x, y, MakeRgb(static_cast<std::uint8_t>(x * 60), 0, 0));
        }
    }
    CxImage half(image);
    ASSERT_TRUE(half.ResampleTo(2, 1));
    EXPECT_EQ(half.GetPixelColor(0, 0).red, 30);  // (0 + 60) / 2
    EXPECT_EQ(half.GetPixelColor(1, 0).red, 150); // (120 + 180) / 2
    CxImage third(image);
    ASSERT_TRUE(third.ResampleTo(3, 2));          // partial coverage: 4/3 per target
    EXPECT_EQ(third.GetPixelColor(0, 0).red, 15); // (0 × 1 + 60 × 1/3) / (4/3)

    for (auto [w, h] : {std::pair{17u, 9u}, std::pair{3u, 2u}, std::pair{40u, 1u}}) {
        CxImage flat = Uniform(6, 4, MakeRgb(33, 66, 99));
        ASSERT_TRUE(flat.ResampleTo(w, h));
        EXPECT_TRUE(SamePixels(flat, Uniform(w, h, MakeRgb(33, 66, 99))));
    }
    // Enlarging a two-pixel ramp with the cubic kernel is symmetric.
    CxImage ramp(2, 1, 24);
    ramp.SetPixelColor(1, 0, MakeRgb(255, 255, 255));
    ASSERT_TRUE(ramp.ResampleTo(4, 1));
    EXPECT_EQ(ramp.GetPixelColor(0, 0).red, 0);
    EXPECT_EQ(ramp.GetPixelColor(0, 0).red + ramp.GetPixelColor(3, 0).red, 255);
    EXPECT_EQ(ramp.GetPixelColor(1, 0).red + ramp.GetPixelColor(2, 0).red, 255);
    EXPECT_LT(ramp.GetPixelColor(1, 0).red, ramp.GetPixelColor(2, 0).red);

    CxImage alpha = Pattern(4, 4, 24);
    alpha.AlphaCreate();
    alpha.AlphaSet(2, 2, 9);
    ASSERT_TRUE(alpha.ResampleTo(2, 2));
    EXPECT_EQ(alpha.AlphaGet(1, 1), 9); // source (trunc(1 × 2), trunc(1 × 2))

    CxImage same = Pattern(5, 5, 24);
    ASSERT_TRUE(same.ResampleTo(5, 5));
    EXPECT_TRUE(SamePixels(same, Pattern(5, 5, 24)));
    EXPECT_FALSE(same.ResampleTo(0, 5));
}

TEST(FitOnCanvas, ScalesCentresAndLeavesTheSourceAlone) {
    CxImage wide = Uniform(400, 100, MakeRgb(10, 200, 30));
    CxImage target;
    ASSERT_TRUE(wide.FitOnCanvas(200, 200, MakeRgb(255, 255, 255), target));
    ASSERT_EQ(target.Width(), 200u);
    ASSERT_EQ(target.Height(), 200u);
    EXPECT_EQ(wide.Width(), 400u);
    // 200 × 50 picture, 75 rows of canvas above and below.
    EXPECT_EQ(target.GetPixelColor(100, 199 - 74), MakeRgb(255, 255, 255, 255));
    EXPECT_EQ(target.GetPixelColor(100, 199 - 75), MakeRgb(10, 200, 30, 255));
    EXPECT_EQ(target.GetPixelColor(0, 199 - 124), MakeRgb(10, 200, 30, 255));
    EXPECT_EQ(target.GetPixelColor(100, 199 - 125), MakeRgb(255, 255, 255, 255));

    // A small palette picture is only centred: margins (10 - 3) / 2 = 3.
    CxImage small = Pattern(3, 2, 8);
    ASSERT_TRUE(small.FitOnCanvas(10, 6, MakeRgb(0, 0, 0), target));
    EXPECT_EQ(target.GetPixelColor(3, 5 - 2), small.GetPixelColor(0, 1));
    EXPECT_EQ(target.GetPixelColor(2, 5 - 2), MakeRgb(0, 0, 0, 255));
    // Tall picture: f = H / height.
    CxImage tall = Uniform(50, 300, MakeRgb(1, 2, 3));
    ASSERT_TRUE(tall.FitOnCanvas(100, 100, MakeRgb(9, 9, 9), target));
    // 16 × 100, from column (100 - 16) / 2 = 42.
    EXPECT_EQ(target.GetPixelColor(42, 50), MakeRgb(1, 2, 3, 255));
    EXPECT_EQ(target.GetPixelColor(57, 50), MakeRgb(1, 2, 3, 255));
    EXPECT_EQ(target.GetPixelColor(41, 50), MakeRgb(9, 9, 9, 255));
    EXPECT_EQ(target.GetPixelColor(58, 50), MakeRgb(9, 9, 9, 255));
}

TEST(ToDeviceBitmap, TwentyFourBitRowsOfThePicture) {
    CxImage image = Pattern(5, 3, 4);
    auto bitmap = image.ToDeviceBitmap();
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->width, 5);
    EXPECT_EQ(bitmap->stride, 16u);
    const RgbQuad c = image.GetPixelColor(4, 2);
    EXPECT_EQ(bitmap->bits[2 * 16 + 12], c.blue);
    EXPECT_EQ(bitmap->bits[2 * 16 + 14], c.red);
    EXPECT_EQ(CxImage().ToDeviceBitmap(), nullptr);
}

TEST(ImageOps, EscapeStopsEveryLongOperationWithoutChange) {
    const std::vector<std::pair<const char*, std::function<bool(CxImage&)>>> ops = {
        {"blur", [](CxImage& i) { return i.GaussianBlur(3); }},
        {"convolve", [](CxImage& i) { return i.Convolve(kSharpen, 3, 7, 0); }},
        {"light", [](CxImage& i) { return i.AdjustLight(30, 20); }},
        {"shift", [](CxImage& i) { return i.ShiftChannels(5, 5, 5); }},
        {"invert", [](CxImage& i) { return i.Invert(); }},
        {"grey", [](CxImage& i) { return i.ToGrayscale(); }},
        {"left", [](CxImage& i) { return i.RotateLeft90(); }},
        {"right", [](CxImage& i) { return i.RotateRight90(); }},
        {"crop", [](CxImage& i) { return i.CropTo(1, 1, 5, 5); }},
        {"redeye", [](CxImage& i) { return i.RemoveRedEye(); }},
        {"resample", [](CxImage& i) { return i.ResampleTo(3, 3); }},
        {"fit",
         [](CxImage& i) {
             CxImage t;
             return i.FitOnCanvas(4, 4, RgbQuad{}, t);
         }},
    };
    for (const auto& [name, op] : ops) {
        SCOPED_TRACE(name);
        CxImage image = Pattern(12, 10, 24);
        image.SetEscape(true);
        EXPECT_FALSE(op(image));
        EXPECT_TRUE(SamePixels(image, Pattern(12, 10, 24)));
        EXPECT_EQ(image.GetBpp(), 24u);
        image.SetEscape(false);
        EXPECT_TRUE(op(image));
    }
    for (auto& [name, op] : ops) {
        CxImage empty;
        EXPECT_FALSE(op(empty)) << name;
    }
}
