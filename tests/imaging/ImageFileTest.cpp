// Loading and saving: round trips through every encoder, detection from
// content, error texts, and broken files of every format.

#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"
#include "imaging/ImageJPG.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>

using imagingtest::Pattern;
using imagingtest::SamePixels;

namespace {

std::vector<std::uint8_t> EncodeOrDie(CxImage image, int type) {
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(image.Encode(bytes, type)) << image.GetLastError();
    return bytes;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xffffffffu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
        }
    }
    return ~crc;
}

void PutBE32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
    }
}

void PutLE32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

// A file of each format whose header claims 100000 × 100000 pixels.
std::vector<std::uint8_t> HugeBmp() {
    auto b = EncodeOrDie(Pattern(4, 4, 24), imaging::kFormatBmp);
    PutLE32(b, 18, 100000);
    PutLE32(b, 22, 100000);
    return b;
}

std::vector<std::uint8_t> HugePng() {
    auto b = EncodeOrDie(Pattern(4, 4, 24), imaging::kFormatPng);
    PutBE32(b, 16, 100000);
    PutBE32(b, 20, 100000);
    PutBE32(b, 29, Crc32(b.data() + 12, 17)); // IHDR type and data
    return b;
}

std::vector<std::uint8_t> HugeJpeg() {
    auto b = EncodeOrDie(Pattern(4, 4, 24), imaging::kFormatJpg);
    for (std::size_t i = 2; i + 8 < b.size(); ++i) {
        if (b[i] == 0xff && b[i + 1] == 0xc0) { // start of frame: height, width
            b[i + 5] = 0x86;
            b[i + 6] = 0xa0;
            b[i + 7] = 0x86;
            b[i + 8] = 0xa0;
            break;
        }
    }
    return b;
}

std::vector<std::uint8_t> HugeGif() {
    // Screen 65535 × 65535 (the format's largest) and a frame just as big.
    std::vector<std::uint8_t> b = {
        'G', 'I',  'F', '8', '9', 'a', 0xff, 0xff, 0xff, 0xff, 0x80, 0, 0, 0,    0,    0, 0,
        0,   0x2c, 0,   0,   0,   0,   0xff, 0xff, 0xff, 0xff, 0,    2, 2, 0x4c, 0x01, 0, 0x3b};
    return b;
}

std::vector<std::uint8_t> HugeTiff() {
    // Little-endian, one IFD of 6 entries: width, length, bits, photometric,
    // strip offsets, samples.
    std::vector<std::uint8_t> b = {'I', 'I', 42, 0, 8, 0, 0, 0, 6, 0};
    auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t value) {
        b.push_back(static_cast<std::uint8_t>(tag));
        b.push_back(static_cast<std::uint8_t>(tag >> 8));
        b.push_back(static_cast<std::uint8_t>(type));
        b.push_back(0);
        b.insert(b.end(), {1, 0, 0, 0});
        for (int i = 0; i < 4; ++i) {
            b.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        }
    };
    entry(256, 4, 100000);
    entry(257, 4, 100000);
    entry(258, 3, 8);
    entry(262, 3, 2);
    entry(273, 4, 8);
    entry(277, 3, 3);
    b.insert(b.end(), {0, 0, 0, 0});
    return b;
}

} // namespace

TEST(ImageFile, RoundTripsThroughEveryEncoder) {
    struct Case {
        int type;
        std::uint32_t bpp;
    } cases[] = {
        {imaging::kFormatBmp, 1},  {imaging::kFormatBmp, 4},  {imaging::kFormatBmp, 8},
        {imaging::kFormatBmp, 24}, {imaging::kFormatPng, 1},  {imaging::kFormatPng, 4},
        {imaging::kFormatPng, 8},  {imaging::kFormatPng, 24}, {imaging::kFormatTif, 1},
        {imaging::kFormatTif, 4},  {imaging::kFormatTif, 8},  {imaging::kFormatTif, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " bpp " << c.bpp);
        CxImage source = Pattern(37, 23, c.bpp);
        source.SetXDPI(300);
        const auto bytes = EncodeOrDie(source, c.type);
        CxImage back;
        ASSERT_TRUE(back.Decode(bytes)) << back.GetLastError();
        EXPECT_EQ(back.GetType(), c.type);
        EXPECT_EQ(back.GetBpp(), c.bpp);
        EXPECT_EQ(back.GetXDPI(), 300);
        EXPECT_TRUE(SamePixels(source, back));
    }
}

TEST(ImageFile, PngKeepsAlphaAndTheTransparentIndex) {
    CxImage rgba = Pattern(16, 9, 24);
    rgba.AlphaCreate();
    for (std::uint32_t x = 0; x < 16; ++x) {
        rgba.AlphaSet(x, 3, static_cast<std::uint8_t>(x * 16));
    }
    CxImage back;
    ASSERT_TRUE(back.Decode(EncodeOrDie(rgba, imaging::kFormatPng)));
    EXPECT_TRUE(SamePixels(rgba, back, true));

    CxImage indexed = Pattern(16, 9, 8);
    indexed.SetTransIndex(5);
    ASSERT_TRUE(back.Decode(EncodeOrDie(indexed, imaging::kFormatPng)));
    EXPECT_EQ(back.GetTransIndex(), 5);
    EXPECT_TRUE(SamePixels(indexed, back));
}

TEST(ImageFile, JpegRoundTripIsCloseAndHonoursQuality) {
    CxImage source(64, 48, 24);
    for (std::uint32_t y = 0; y < 48; ++y) {
        for (std::uint32_t x = 0; x < 64; ++x) {
            source.SetPixelColor(
                x, y,
                MakeRgb(static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 5), 128));
        }
    }
    const auto high = EncodeOrDie(source, imaging::kFormatJpg);
    source.SetJpegQuality(20);
    const auto low = EncodeOrDie(source, imaging::kFormatJpg);
    EXPECT_LT(low.size(), high.size());
    CxImage back;
    ASSERT_TRUE(back.Decode(high));
    EXPECT_EQ(back.GetType(), imaging::kFormatJpg);
    EXPECT_LE(imagingtest::MaxDifference(imagingtest::ToRgba(back), imagingtest::ToRgba(source)),
              8);

    CxImage grey = Pattern(20, 10, 24);
    ASSERT_TRUE(grey.ToGrayscale());
    ASSERT_TRUE(back.Decode(EncodeOrDie(grey, imaging::kFormatJpg)));
    EXPECT_EQ(back.GetBpp(), 8u);
    EXPECT_TRUE(back.IsGrayScale());
}

TEST(ImageFile, DetectionFromContentAndErrorTexts) {
    testsupport::ScopedTestHome home;
    // A JPEG named .png loads as JPEG, with or without asking for PNG.
    const std::string named = home.Temp() + "/png_named_jpeg.png";
    ASSERT_TRUE(
        imagingtest::WriteBytes(named, EncodeOrDie(Pattern(8, 8, 24), imaging::kFormatJpg)));
    CxImage image;
    ASSERT_TRUE(image.LoadFile(named));
    EXPECT_EQ(image.GetType(), imaging::kFormatJpg);
    ASSERT_TRUE(image.LoadFile(named, imaging::kFormatPng));
    EXPECT_EQ(image.GetType(), imaging::kFormatJpg);

    const std::string junk = home.Temp() + "/junk.bin";
    ASSERT_TRUE(imagingtest::WriteBytes(junk, std::vector<std::uint8_t>(100, 0x42)));
    EXPECT_FALSE(image.LoadFile(junk));
    EXPECT_EQ(image.GetLastError(), "Decode: Unknown or wrong format");
    // A failed typed attempt followed by failed detection keeps the first text.
    EXPECT_FALSE(image.LoadFile(junk, imaging::kFormatPng));
    EXPECT_EQ(image.GetLastError(), "PNG: not a PNG file");
    EXPECT_TRUE(image.IsValid()); // the JPEG loaded before is still there

    EXPECT_FALSE(image.LoadFile(home.Temp() + "/missing.jpg"));
    EXPECT_NE(image.GetLastError().find("cannot open"), std::string::npos);
    EXPECT_FALSE(image.LoadFile(home.Temp()));
    EXPECT_NE(image.GetLastError().find("not a file"), std::string::npos);
    const std::string empty = home.Temp() + "/empty.jpg";
    ASSERT_TRUE(imagingtest::WriteBytes(empty, {}));
    EXPECT_FALSE(image.LoadFile(empty));
    EXPECT_EQ(image.GetLastError(), "Decode: Unknown or wrong format");
}

TEST(ImageFile, SaveWritesFilesAndFailsCleanly) {
    testsupport::ScopedTestHome home;
    CxImage image = Pattern(10, 10, 24);
    const std::string path = home.Temp() + "/out.jpg";
    ASSERT_TRUE(image.SaveFile(path, imaging::kFormatJpg)) << image.GetLastError();
    CxImage back;
    ASSERT_TRUE(back.LoadFile(path));
    EXPECT_EQ(back.Width(), 10u);

    EXPECT_FALSE(image.SaveFile(home.Temp() + "/out.tga", imaging::kFormatTga));
    EXPECT_EQ(image.GetLastError(), "Encode: format not supported");
    EXPECT_FALSE(image.SaveFile(home.Temp() + "/out.gif", imaging::kFormatGif));
    EXPECT_FALSE(image.SaveFile(home.Temp() + "/no/such/dir/out.png", imaging::kFormatPng));
    EXPECT_NE(image.GetLastError().find("cannot create"), std::string::npos);
    // A failed save leaves the old file as it was.
    CxImage empty;
    EXPECT_FALSE(empty.SaveFile(path, imaging::kFormatJpg));
    ASSERT_TRUE(back.LoadFile(path));
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(ImageFile, BrokenFilesOfEveryFormatFail) {
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> files = {
        {"bmp", EncodeOrDie(Pattern(40, 30, 24), imaging::kFormatBmp)},
        {"png", EncodeOrDie(Pattern(40, 30, 24), imaging::kFormatPng)},
        {"jpeg", EncodeOrDie(Pattern(40, 30, 24), imaging::kFormatJpg)},
        {"tiff", EncodeOrDie(Pattern(40, 30, 24), imaging::kFormatTif)},
        {"gif", imagingtest::ReadBytes(testsupport::SharedTestData("samepicture/video-001.gif"))},
    };
    for (const auto& [name, good] : files) {
        SCOPED_TRACE(name);
        ASSERT_GT(good.size(), 64u);
        CxImage image;
        ASSERT_TRUE(image.Decode(good)) << image.GetLastError();
        // Zero length, cut after the header, cut half way, cut two bytes
        // short (a GIF without its trailer byte is still whole).
        for (std::size_t length :
             {std::size_t{0}, std::size_t{20}, good.size() / 2, good.size() - 2}) {
            SCOPED_TRACE(testing::Message() << "truncated to " << length);
            CxImage broken;
            EXPECT_FALSE(broken.Decode(std::span(good.data(), length)));
            EXPECT_FALSE(broken.GetLastError().empty());
            EXPECT_FALSE(broken.IsValid());
        }
        // Every byte of the header in turn set to 0xff: a clean verdict
        // either way, never a crash or a read outside the buffer.
        for (std::size_t i = 0; i < 40; ++i) {
            auto corrupt = good;
            corrupt[i] = 0xff;
            CxImage broken;
            if (!broken.Decode(corrupt)) {
                EXPECT_FALSE(broken.GetLastError().empty());
            }
        }
    }
}

TEST(ImageFile, HeadersClaimingHugeSizesFailBeforeAllocating) {
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> files = {
        {"bmp", HugeBmp()}, {"png", HugePng()},   {"jpeg", HugeJpeg()},
        {"gif", HugeGif()}, {"tiff", HugeTiff()},
    };
    for (const auto& [name, bytes] : files) {
        SCOPED_TRACE(name);
        CxImage image;
        EXPECT_FALSE(image.Decode(bytes));
        EXPECT_FALSE(image.GetLastError().empty());
        EXPECT_FALSE(image.IsValid());
    }
}

TEST(ImageFile, FilesFoundByFuzzing) {
    // Storage, not pixel bits, must stay under the limit: 8 GB of padded
    // rows for a picture one pixel wide.
    CxImage image;
    EXPECT_FALSE(image.LoadFile(
        testsupport::ProjectTestData("imaging/one_pixel_wide_two_billion_rows.bmp")));
    EXPECT_FALSE(image.GetLastError().empty());
    // A 41-byte GIF with a 63744 × 4097 screen decodes (the screen is within
    // the limit) and is filled with the background, not pixel by pixel.
    ASSERT_TRUE(image.LoadFile(testsupport::ProjectTestData("imaging/tiny_file_huge_screen.gif")))
        << image.GetLastError();
    EXPECT_EQ(image.Width(), 63744u);
    EXPECT_EQ(image.Height(), 4097u);
    EXPECT_EQ(image.GetPixelIndex(63743, 0), image.GetPixelIndex(1000, 2000));
}

TEST(ImageFile, ReducedJpegDecodeUsesTheSmallestScaleThatCovers) {
    struct Case {
        std::uint32_t minWidth, minHeight;
        unsigned scale;
    } cases[] = {{100, 75, 1},  {101, 75, 2},  {200, 150, 2}, {201, 10, 3},
                 {400, 300, 4}, {800, 600, 8}, {2000, 10, 8}};
    for (const Case& c : cases) {
        EXPECT_EQ(CxImageJPG::ScaleFor(800, 600, c.minWidth, c.minHeight), c.scale)
            << c.minWidth << "x" << c.minHeight;
    }
    // libjpeg rounds scaled sizes up: 801 × 1/8 is 101.
    EXPECT_EQ(CxImageJPG::ScaleFor(801, 601, 101, 76), 1u);

    CxImage source = Pattern(800, 600, 24);
    const auto jpeg = EncodeOrDie(source, imaging::kFormatJpg);
    CxImage thumb;
    ASSERT_TRUE(thumb.DecodeReduced(jpeg, 160, 120));
    EXPECT_EQ(thumb.Width(), 200u);
    EXPECT_EQ(thumb.Height(), 150u);
    EXPECT_EQ(thumb.GetType(), imaging::kFormatJpg);
    ASSERT_TRUE(thumb.DecodeReduced(jpeg, 1000, 1000));
    EXPECT_EQ(thumb.Width(), 800u);
}

TEST(ImageFile, ReducedDecodeOfOtherFormatsResamples) {
    CxImage source = Pattern(300, 200, 24);
    CxImage thumb;
    ASSERT_TRUE(thumb.DecodeReduced(EncodeOrDie(source, imaging::kFormatPng), 90, 30));
    EXPECT_EQ(thumb.Width(), 90u);
    EXPECT_EQ(thumb.Height(), 60u);
    EXPECT_EQ(thumb.GetType(), imaging::kFormatPng);
    // Never enlarged.
    ASSERT_TRUE(thumb.DecodeReduced(EncodeOrDie(source, imaging::kFormatBmp), 600, 10));
    EXPECT_EQ(thumb.Width(), 300u);
    EXPECT_FALSE(thumb.DecodeReduced(std::vector<std::uint8_t>(10, 1), 90, 30));
    EXPECT_EQ(thumb.GetLastError(), "Decode: Unknown or wrong format");
}

TEST(ImageFile, PngCompressionLevelsKeepThePixels) {
    CxImage image(97, 61, 24);
    for (std::uint32_t y = 0; y < 61; ++y) {
        for (std::uint32_t x = 0; x < 97; ++x) {
            image.SetPixelColor(x, y,
                                MakeRgb(static_cast<std::uint8_t>(x * 7 + y),
                                        static_cast<std::uint8_t>(y * 3),
                                        static_cast<std::uint8_t>((x ^ y) & 0xFF)));
        }
    }
    std::vector<std::uint8_t> fast, best;
    image.SetPngCompression(1);
    CxImage copy(image);
    EXPECT_EQ(copy.GetPngCompression(), 1) << "copies keep the setting";
    ASSERT_TRUE(copy.Encode(fast, imaging::kFormatPng));
    image.SetPngCompression(9);
    ASSERT_TRUE(image.Encode(best, imaging::kFormatPng));
    EXPECT_LE(best.size(), fast.size());
    for (const auto* bytes : {&fast, &best}) {
        CxImage decoded;
        ASSERT_TRUE(decoded.Decode(*bytes, imaging::kFormatPng));
        for (std::uint32_t y = 0; y < 61; y += 5) {
            for (std::uint32_t x = 0; x < 97; x += 3) {
                EXPECT_EQ(decoded.GetPixelColor(x, y), image.GetPixelColor(x, y));
            }
        }
    }
    image.SetPngCompression(42);
    EXPECT_EQ(image.GetPngCompression(), 9);
}
