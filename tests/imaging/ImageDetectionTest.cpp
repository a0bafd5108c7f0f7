// Detection over every format: one file of each supported format, made by
// ImageMagick or our own writers, is taken for a picture by its extension
// and loads from its content as its own format; text named .jpg is no
// picture. The detection order and the extension list match the codecs.

#include "FormatTestUtil.h"
#include "ImageTestUtil.h"
#include "SampleFiles.h"

#include "TestEnv.h"
#include "imaging/Image.h"
#include "imaging/ImageCodecs.h"
#include "imaging/PictureExtensions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

TEST(ImageDetection, OrderAndTypeNumbers) {
    std::vector<int> order;
    for (const imaging::CodecEntry& c : imaging::DetectionOrder()) {
        order.push_back(c.type);
    }
    // BMP, JPEG, raw, ICO, GIF, PNG, TIFF, MNG, TGA, PCX, WBMP, WMF/EMF,
    // the JPEG 2000 family (JP2, JPC, PGX, PNM, RAS), SKA.
    const std::vector<int> expected = {1, 3, 19, 5,  2,  4,  6,  17, 7,
                                       8, 9, 10, 11, 12, 13, 14, 15, 18};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(imaging::FindCodec(16), nullptr);
    CxImage image(2, 2, 24);
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(image.Encode(bytes, 16));
}

TEST(ImageDetection, ExtensionsMatchTheDecoders) {
    std::set<int> withExtension;
    for (const imaging::PictureExtension& e : imaging::PictureExtensions()) {
        SCOPED_TRACE(std::string(e.extension));
        EXPECT_NE(imaging::FindCodec(e.type), nullptr);
        withExtension.insert(e.type);
    }
    for (const imaging::CodecEntry& c : imaging::DetectionOrder()) {
        EXPECT_TRUE(withExtension.count(c.type)) << c.name;
    }
    struct Case {
        const char* name;
        bool picture;
    } cases[] = {
        {"a.JPG", true},
        {"/x/y.tar/photo.Nef", true},
        {"b.cr2", true},
        {"c.wmf", true},
        {".jpeg", true},
        {"notes.txt", false},
        {"jpg", false},
        {"photo.jpg.txt", false},
        {"dir.png/readme", false},
        {"archive.tif.gz", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(imaging::IsPictureExtension(c.name), c.picture) << c.name;
    }
    EXPECT_EQ(imaging::PictureFormatOfExtension("x.J2K"), imaging::kFormatJpc);
}

TEST(ImageDetection, FolderOfEveryFormat) {
    testsupport::ScopedTestHome home;
    const std::string folder = home.Temp() + "/pictures";
    fs::create_directories(folder);
    const std::string color = imagingtest::MakeColorSource(home.Temp());
    const std::string bilevel = imagingtest::MakeBilevelSource(home.Temp());
    // ImageMagick writes these from the colour (or black-and-white) source.
    for (const char* name : {"a.bmp", "a.jpg", "a.ico", "a.gif", "a.png", "a.tif", "a.mng", "a.tga",
                             "a.pcx", "a.jp2", "a.j2k", "a.pgx", "a.ppm", "a.ras"}) {
        ASSERT_TRUE(imagingtest::Convert({color, folder + "/" + name})) << name;
    }
    ASSERT_TRUE(imagingtest::Convert({bilevel, folder + "/a.wbmp"}));
    // Ours: SKA, camera raw, metafiles.
    CxImage palette = imagingtest::Pattern(5, 4, 8);
    ASSERT_TRUE(palette.SaveFile(folder + "/a.ska", imaging::kFormatSka));
    ASSERT_TRUE(imagingtest::WriteBytes(folder + "/a.dng", imagingtest::MakeTestDng()));
    ASSERT_TRUE(imagingtest::WriteBytes(folder + "/a.wmf", imagingtest::MakeTestWmf()));
    ASSERT_TRUE(imagingtest::WriteBytes(folder + "/a.emf", imagingtest::MakeTestEmf()));
    // Not a picture, whatever its name says.
    ASSERT_TRUE(testsupport::WriteFile(folder + "/letter.jpg", "Dear reader,\nthis is text.\n"));

    std::set<int> seen;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ASSERT_TRUE(imaging::IsPictureExtension(name));
        CxImage image;
        const bool loaded = image.LoadFile(entry.path().string());
        if (name == "letter.jpg") {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(image.GetLastError(), "Decode: Unknown or wrong format");
            CxImage typed;
            EXPECT_FALSE(typed.LoadFile(entry.path().string(), imaging::kFormatJpg));
            EXPECT_FALSE(typed.GetLastError().empty());
            continue;
        }
        ASSERT_TRUE(loaded) << image.GetLastError();
        EXPECT_EQ(image.GetType(), imaging::PictureFormatOfExtension(name));
        seen.insert(image.GetType());
    }
    std::set<int> all;
    for (const imaging::CodecEntry& c : imaging::DetectionOrder()) {
        all.insert(c.type);
    }
    EXPECT_EQ(seen, all);
}

} // namespace
