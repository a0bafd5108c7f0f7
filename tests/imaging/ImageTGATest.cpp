// TGA: every file of the outside suite (grey, grey with alpha, colour-mapped,
// RGB, RGBA; bottom-left and top-left origin; raw and RLE) shows the pixels
// of its reference PNG, alpha included; broken copies fail cleanly.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;
using imagingtest::ToRgba;

namespace {

std::vector<fs::path> SuiteFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(testsupport::SharedTestData("tga/common"))) {
        if (entry.path().extension() == ".tga") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// "200x32_la_bl_rle.tga" is drawn by "200x32_la.png".
fs::path ReferenceOf(const fs::path& tga) {
    const std::string stem = tga.stem().string();
    const std::size_t origin = stem.rfind('_', stem.rfind('_') - 1);
    return tga.parent_path() / (stem.substr(0, origin) + ".png");
}

TEST(ImageTGA, SuiteMatchesItsReferencePictures) {
    const auto files = SuiteFiles();
    ASSERT_EQ(files.size(), 24u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        CxImage tga;
        ASSERT_TRUE(tga.LoadFile(file.string(), imaging::kFormatTga)) << tga.GetLastError();
        EXPECT_EQ(tga.GetType(), imaging::kFormatTga);
        CxImage png;
        ASSERT_TRUE(png.LoadFile(ReferenceOf(file).string(), imaging::kFormatPng));
        const auto ours = ToRgba(tga);
        const auto reference = ToRgba(png);
        ASSERT_EQ(ours.width, reference.width);
        ASSERT_EQ(ours.height, reference.height);
        EXPECT_EQ(ours.pixels, reference.pixels);
    }
}

TEST(ImageTGA, DetectedFromContent) {
    CxImage image;
    const auto file = testsupport::SharedTestData("tga/common/200x32_rgb_tl_rle.tga");
    ASSERT_TRUE(image.LoadFile(file)) << image.GetLastError();
    EXPECT_EQ(image.GetType(), imaging::kFormatTga);
    EXPECT_EQ(image.Width(), 200u);
}

TEST(ImageTGA, BrokenCopiesFail) {
    for (const char* name :
         {"200x32_rgba_bl_raw.tga", "200x32_p_tl_rle.tga", "200x32_l_bl_rle.tga"}) {
        SCOPED_TRACE(name);
        const auto bytes =
            imagingtest::ReadBytes(testsupport::SharedTestData(std::string("tga/common/") + name));
        // The files end in the optional footer, which the pixels do not need.
        imagingtest::ExpectBrokenCopiesFail(bytes, imaging::kFormatTga, 18, false);
    }
}

TEST(ImageTGA, RejectsImpossibleHeaders) {
    // 2 × 2 true colour, 24 bits, then each case spoils one field.
    std::vector<std::uint8_t> good = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0};
    good.resize(good.size() + 12, 0x80);
    CxImage image;
    ASSERT_TRUE(image.Decode(good, imaging::kFormatTga)) << image.GetLastError();
    struct Case {
        std::size_t offset;
        std::uint8_t value;
        const char* error;
    } cases[] = {
        {1, 2, "TGA: unknown colour map type"},     {2, 4, "TGA: unknown image type"},
        {12, 0, "TGA: invalid dimensions"},         {16, 17, "TGA: unsupported bit depth"},
        {2, 1, "TGA: invalid colour-mapped image"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        auto bytes = good;
        bytes[c.offset] = c.value;
        CxImage bad;
        EXPECT_FALSE(bad.Decode(bytes, imaging::kFormatTga));
        EXPECT_EQ(bad.GetLastError(), c.error);
    }
}

} // namespace
