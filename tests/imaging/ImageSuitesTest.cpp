// The outside test suites: every good file decodes to the pixels of its
// reference (the suite's own dump, or ImageMagick's decode), and every file
// a suite marks as broken fails with an error text.

#include "ImageTestUtil.h"

#include "TestEnv.h"
#include "imaging/Image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace fs = std::filesystem;
using imagingtest::MagickDecode;
using imagingtest::MaxDifference;
using imagingtest::ToRgba;

namespace {

std::vector<fs::path> FilesIn(const std::string& folder, const std::set<std::string>& extensions) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(testsupport::SharedTestData(folder))) {
        if (entry.is_regular_file() && extensions.count(entry.path().extension().string())) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Decodes a file and compares it with ImageMagick's decode of it.
void ExpectMatchesMagick(const fs::path& file, int tolerance) {
    SCOPED_TRACE(file.filename().string());
    CxImage image;
    ASSERT_TRUE(image.LoadFile(file.string())) << image.GetLastError();
    const bool cmyk = file.filename().string().find("cmyk") != std::string::npos;
    auto reference = MagickDecode(file.string(), cmyk);
    ASSERT_TRUE(reference.has_value()) << "reference decoder failed";
    EXPECT_EQ(image.Width(), reference->width);
    EXPECT_EQ(image.Height(), reference->height);
    EXPECT_LE(MaxDifference(ToRgba(image), *reference), tolerance);
}

void ExpectCleanFailure(const fs::path& file) {
    SCOPED_TRACE(file.filename().string());
    CxImage image;
    EXPECT_FALSE(image.LoadFile(file.string()));
    EXPECT_FALSE(image.GetLastError().empty());
    EXPECT_FALSE(image.IsValid());
}

// Decoding may succeed or fail, but a failure names its reason and a
// success gives a whole picture.
void ExpectNoCrash(const fs::path& file) {
    SCOPED_TRACE(file.filename().string());
    CxImage image;
    if (image.LoadFile(file.string())) {
        EXPECT_TRUE(image.IsValid());
        EXPECT_GT(image.Width(), 0u);
    } else {
        EXPECT_FALSE(image.GetLastError().empty());
    }
}

std::map<std::string, std::string> ReadConf(const fs::path& path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string line, section;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            section = line.substr(1, line.find(']') - 1);
            continue;
        }
        const auto eq = line.find(" = ");
        const std::string value = eq == std::string::npos ? "" : line.substr(eq + 3);
        values[section + "." + line.substr(0, line.find(' '))] = value;
    }
    return values;
}

} // namespace

TEST(PngSuite, GoodFilesMatchAndCorruptOnesFail) {
    for (const fs::path& file : FilesIn("png/pngsuite", {".png"})) {
        if (file.filename().string()[0] == 'x') {
            ExpectCleanFailure(file);
        } else {
            // 16-bit samples are scaled to 8 bits; ImageMagick rounds the
            // same way, but allow one step.
            ExpectMatchesMagick(file, 1);
        }
    }
}

TEST(PngSuite, CrashersNeverCrash) {
    for (const fs::path& file : FilesIn("png/crashers", {".png"})) {
        ExpectNoCrash(file);
    }
    for (const char* broken :
         {"zero_width.png", "missing_plte.png", "badadler.png", "badcrc.png"}) {
        ExpectCleanFailure(testsupport::SharedTestData(std::string("png/crashers/") + broken));
    }
}

TEST(BmpSuite, GoodFilesMatch) {
    for (const fs::path& file : FilesIn("bmp/bmpsuite/g", {".bmp"})) {
        // 16-bit channels are widened to 8 bits with rounding.
        ExpectMatchesMagick(file, 4);
    }
}

TEST(BmpSuite, QuestionableFilesNeverCrash) {
    for (const fs::path& file : FilesIn("bmp/bmpsuite/q", {".bmp"})) {
        ExpectNoCrash(file);
    }
}

TEST(BmpSuite, BadFilesFailOrDecodeWhatIsThere) {
    // These four only carry a wrong redundant field (file size, image size,
    // densities); the pixels are all there and decode as ImageMagick shows.
    const std::set<std::string> redundant = {"badbitssize.bmp", "baddens1.bmp", "baddens2.bmp",
                                             "badfilesize.bmp"};
    for (const fs::path& file : FilesIn("bmp/bmpsuite/b", {".bmp"})) {
        if (redundant.count(file.filename().string())) {
            CxImage image;
            EXPECT_TRUE(image.LoadFile(file.string())) << file << image.GetLastError();
        } else {
            ExpectCleanFailure(file);
        }
    }
}

TEST(GifSuite, FirstFramesMatchTheDumps) {
    // TESTS lists the cases whose dumps hold; the rest (combined or
    // disposed frames, high colour) only must not crash.
    std::set<std::string> enabled;
    std::ifstream list(testsupport::SharedTestData("gif/suite/TESTS"));
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line[0] != '#') {
            enabled.insert(line);
        }
    }
    ASSERT_FALSE(enabled.empty());
    for (const fs::path& conf : FilesIn("gif/suite", {".conf"})) {
        SCOPED_TRACE(conf.filename().string());
        auto values = ReadConf(conf);
        // Plain-text blocks are skipped (their text is not drawn), so that
        // file shows its image where the dumps expect a failure.
        if (!enabled.count(conf.stem().string()) || conf.stem() == "plain-text") {
            ExpectNoCrash(conf.parent_path() / values["config.input"]);
            continue;
        }
        const fs::path gif = conf.parent_path() / values["config.input"];
        const std::string frame = values["config.frames"];
        CxImage image;
        if (frame.empty()) {
            EXPECT_FALSE(image.LoadFile(gif.string()));
            EXPECT_FALSE(image.GetLastError().empty());
            continue;
        }
        ASSERT_TRUE(image.LoadFile(gif.string())) << image.GetLastError();
        const std::string first = frame.substr(0, frame.find(','));
        imagingtest::Rgba reference;
        reference.width = static_cast<std::uint32_t>(std::stoul(values["config.width"]));
        reference.height = static_cast<std::uint32_t>(std::stoul(values["config.height"]));
        reference.pixels =
            imagingtest::ReadBytes((conf.parent_path() / values[first + ".pixels"]).string());
        ASSERT_EQ(reference.pixels.size(), std::size_t{reference.width} * reference.height * 4);
        EXPECT_EQ(MaxDifference(ToRgba(image), reference), 0);
    }
}

TEST(GifSuite, GiflibPicturesMatch) {
    for (const fs::path& file : FilesIn("gif/giflib/pic", {".gif"})) {
        ExpectMatchesMagick(file, 0);
    }
}

TEST(SamePicture, EveryEncodingDecodes) {
    for (const fs::path& file : FilesIn("samepicture", {".jpeg", ".png", ".gif"})) {
        const std::string name = file.filename().string();
        // The "truncated" progressive file lacks its last scans but ends
        // properly, so it decodes. CMYK is converted with rounding.
        ExpectMatchesMagick(file, name.find("cmyk") == std::string::npos ? 0 : 1);
    }
}

TEST(JpegSuite, TestImagesMatch) {
    ExpectMatchesMagick(testsupport::SharedTestData("jpeg/testorig.jpg"), 0);
    ExpectMatchesMagick(testsupport::SharedTestData("jpeg/testimgint.jpg"), 0);
    ExpectMatchesMagick(testsupport::SharedTestData("jpeg/testimgari.jpg"), 0);
    // The library is built for 8-bit samples only.
    ExpectCleanFailure(testsupport::SharedTestData("jpeg/testorig12.jpg"));
}

TEST(TiffSuite, ImagesMatchOrFailCleanly) {
    // Formats libtiff's RGBA reader does not take (floating point samples).
    const std::set<std::string> unsupported = {"test_float64_predictor2_be_lzw.tif",
                                               "test_float64_predictor2_le_lzw.tif"};
    for (const fs::path& file : FilesIn("tiff/images", {".tif", ".tiff"})) {
        const std::string name = file.filename().string();
        if (name == "minisblack-2c-8b-alpha.tiff") {
            continue; // below
        }
        if (unsupported.count(name)) {
            ExpectCleanFailure(file);
            continue;
        }
        // Old-style JPEG and LogLuv go through different colour paths.
        const bool lossy = name.rfind("ojpeg", 0) == 0 || name.rfind("logluv", 0) == 0 ||
                           name.find("jpg") != std::string::npos;
        if (MagickDecode(file.string())) {
            ExpectMatchesMagick(file, lossy ? 8 : 1);
        } else {
            ExpectNoCrash(file);
        }
    }
}

TEST(TiffSuite, GreyWithAlphaInSeparatePlanes) {
    // ImageMagick 6 misreads this file (alpha ends up in green), so it is
    // no reference here: the alpha plane must come through, fully clear
    // and fully opaque parts both present, and opaque grey stays grey.
    CxImage image;
    ASSERT_TRUE(
        image.LoadFile(testsupport::SharedTestData("tiff/images/minisblack-2c-8b-alpha.tiff")))
        << image.GetLastError();
    ASSERT_TRUE(image.AlphaIsValid());
    const imagingtest::Rgba ours = ToRgba(image);
    int clear = 0, opaque = 0;
    for (std::size_t i = 0; i < ours.pixels.size(); i += 4) {
        clear += ours.pixels[i + 3] == 0;
        opaque += ours.pixels[i + 3] == 255;
        EXPECT_EQ(ours.pixels[i], ours.pixels[i + 1]);
    }
    EXPECT_GT(clear, 100);
    EXPECT_GT(opaque, 100);
}
