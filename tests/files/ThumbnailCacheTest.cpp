#include "files/ThumbnailCache.h"

#include "SampleFiles.h"
#include "files/FileObject.h"
#include "files/ImageProperties.h"
#include "files/ThumbnailDib.h"
#include "imaging/Image.h"
#include "imaging/ImageFormats.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

namespace {

using thumbnails::ThumbnailExtent;

TEST(ThumbnailCache, SizeScalesTheLongerSideTo200AndNeverEnlarges) {
    const struct {
        std::uint32_t w, h;
        ThumbnailExtent expected;
    } cases[] = {
        {4000, 3000, {200, 150}}, {3000, 4000, {150, 200}}, {120, 80, {120, 80}},
        {200, 200, {200, 200}},   {201, 1, {200, 1}},       {1, 5000, {1, 200}},
        {1000, 333, {200, 67}},   {0, 10, {0, 0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(thumbnails::ThumbnailSize(c.w, c.h), c.expected) << c.w << " x " << c.h;
    }
    EXPECT_EQ(thumbnails::CachePath("/data/Thumbs", 42), "/data/Thumbs/42.png");
    EXPECT_EQ(thumbnails::CachePath("/data/Thumbs/", 7), "/data/Thumbs/7.png");
    EXPECT_EQ(thumbnails::CachePath("", 7), "");
}

// A picture with smooth colour gradients and a fine checker of brightness,
// so that scaling faults show in the pixels.
CxImage TestPicture(std::uint32_t w, std::uint32_t h) {
    CxImage picture(w, h, 24);
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = picture.GetBits(y);
        for (std::uint32_t x = 0; x < w; ++x) {
            const int checker = ((x / 16 + y / 16) % 2) ? 40 : -40;
            row[3 * x] = static_cast<std::uint8_t>(40 + 175 * x / w + checker);
            row[3 * x + 1] = static_cast<std::uint8_t>(40 + 175 * y / h + checker);
            row[3 * x + 2] = static_cast<std::uint8_t>(128 + checker);
        }
    }
    return picture;
}

struct LoaderFixture : ::testing::Test {
    testsupport::ScopedTestHome home;
    std::string thumbs = home.Temp() + "/Thumbs";

    void SetUp() override { std::filesystem::create_directories(thumbs); }

    std::string Save(const CxImage& picture, const std::string& name, int type) {
        const std::string path = home.Temp() + "/" + name;
        CxImage copy(picture);
        EXPECT_TRUE(copy.SaveFile(path, type)) << copy.GetLastError();
        return path;
    }

    static std::unique_ptr<CFileObject> Object(const std::string& path, std::int32_t assetId) {
        auto object = std::make_unique<CFileObject>(path, nullptr);
        object->assetId = assetId;
        object->SetModified(DateTime(2020, 5, 1, 12, 0, 0));
        return object;
    }

    CxImage Cached(std::int32_t assetId) const {
        CxImage cached;
        cached.LoadFile(thumbnails::CachePath(thumbs, assetId), imaging::kFormatPng);
        return cached;
    }
};

TEST_F(LoaderFixture, LargeJpegGetsA200By150CacheFileAndSmallPngKeepsItsSize) {
    const auto big = Object(Save(TestPicture(4000, 3000), "big.jpg", imaging::kFormatJpg), 1);
    const auto small = Object(Save(TestPicture(120, 80), "small.png", imaging::kFormatPng), 2);
    LoadThumbnail(*big, thumbs);
    LoadThumbnail(*small, thumbs);

    const struct {
        CFileObject& object;
        std::int32_t id, fileW, fileH, thumbW, thumbH;
    } expectations[] = {{*big, 1, 4000, 3000, 200, 150}, {*small, 2, 120, 80, 120, 80}};
    for (const auto& e : expectations) {
        const CxImage cached = Cached(e.id);
        ASSERT_TRUE(cached.IsValid()) << e.id;
        EXPECT_EQ(cached.Width(), static_cast<std::uint32_t>(e.thumbW));
        EXPECT_EQ(cached.Height(), static_cast<std::uint32_t>(e.thumbH));
        EXPECT_EQ(e.object.width, e.fileW);
        EXPECT_EQ(e.object.height, e.fileH);
        EXPECT_TRUE(e.object.isimage && e.object.IsThumbnailLoaded());
        EXPECT_TRUE(e.object.metaModified && e.object.fileModified);
        EXPECT_TRUE(e.object.timescanned > e.object.GetModified());
        ASSERT_NE(e.object.GetThumbnail(), nullptr);
        EXPECT_EQ(e.object.GetThumbnail()->Width(), e.thumbW);
        EXPECT_EQ(e.object.GetThumbnail()->Height(), e.thumbH);
    }
}

// The reduced decode must give what scaling the full decode gives, within
// a mean difference of 0.5 levels per channel and a largest of 4.
TEST_F(LoaderFixture, ReducedJpegDecodeMatchesScalingTheFullDecode) {
    const std::string path = Save(TestPicture(1600, 1200), "detail.jpg", imaging::kFormatJpg);
    CxImage reduced;
    thumbnails::ThumbnailSource source;
    ImageMetadata metadata;
    ASSERT_TRUE(thumbnails::DecodeForThumbnail(path, reduced, source, metadata));
    EXPECT_EQ(source.fileWidth, 1600u);
    EXPECT_EQ(source.fileHeight, 1200u);
    EXPECT_EQ(reduced.Width(), 200u) << "decoded at 1/8, not at full size";

    const auto object = Object(path, 3);
    LoadThumbnail(*object, thumbs);
    CxImage full;
    ASSERT_TRUE(full.LoadFile(path));
    ASSERT_TRUE(full.ResampleTo(200, 150));
    const CxImage thumb = Cached(3);
    ASSERT_EQ(thumb.Width(), 200u);
    double sum = 0;
    int largest = 0;
    for (std::uint32_t y = 0; y < 150; ++y) {
        for (std::uint32_t x = 0; x < 200; ++x) {
            const RgbQuad a = thumb.GetPixelColor(x, y);
            const RgbQuad b = full.GetPixelColor(x, y);
            for (int d : {a.red - b.red, a.green - b.green, a.blue - b.blue}) {
                sum += std::abs(d);
                largest = std::max(largest, std::abs(d));
            }
        }
    }
    EXPECT_LE(sum / (200 * 150 * 3), 0.5);
    EXPECT_LE(largest, 4);
}

// Every JPEG variant (progressive, CMYK, grey, subsamplings, truncated,
// arithmetic, 12-bit), broken BMP files and the TIFF set: the
// thumbnail decode reports the same file size as a full decode, or fails
// where the full decode fails, and never crashes.
TEST(ThumbnailSource, FileSizeAgreesWithTheFullDecode) {
    int decoded = 0;
    for (const char* set : {"samepicture", "jpeg", "bmp/bmpsuite/b", "tiff/images"}) {
        for (const auto& entry :
             std::filesystem::directory_iterator(testsupport::SharedTestData(set))) {
            const std::string path = entry.path().string();
            CxImage full;
            const bool fullOk = full.LoadFile(path);
            CxImage reduced;
            thumbnails::ThumbnailSource source;
            ImageMetadata metadata;
            const bool reducedOk = thumbnails::DecodeForThumbnail(path, reduced, source, metadata);
            EXPECT_EQ(reducedOk, fullOk) << path;
            if (!fullOk || !reducedOk) {
                continue;
            }
            ++decoded;
            EXPECT_EQ(source.fileWidth, full.Width()) << path;
            EXPECT_EQ(source.fileHeight, full.Height()) << path;
            const ThumbnailExtent size = thumbnails::ThumbnailSize(full.Width(), full.Height());
            EXPECT_GE(reduced.Width(), size.width) << path;
            EXPECT_GE(reduced.Height(), size.height) << path;
        }
    }
    EXPECT_GT(decoded, 20);
}

TEST_F(LoaderFixture, GoodCacheIsReadAndATouchedFileIsMadeAgain) {
    const std::string path = Save(TestPicture(400, 300), "photo.jpg", imaging::kFormatJpg);
    auto first = Object(path, 5);
    LoadThumbnail(*first, thumbs);
    ASSERT_TRUE(Cached(5).IsValid());

    // The next listing: the catalogue's values, the cache file replaced by
    // a marker picture so that its use shows.
    CxImage marker(30, 20, 24);
    for (std::uint32_t y = 0; y < 20; ++y) {
        for (std::uint32_t x = 0; x < 30; ++x) {
            marker.SetPixelColor(x, y, MakeRgb(255, 0, 0));
        }
    }
    ASSERT_TRUE(marker.SaveFile(thumbnails::CachePath(thumbs, 5), imaging::kFormatPng));
    auto second = Object(path, 5);
    second->width = first->width;
    second->height = first->height;
    second->timescanned = first->timescanned;
    LoadThumbnail(*second, thumbs);
    ASSERT_NE(second->GetThumbnail(), nullptr);
    EXPECT_EQ(second->GetThumbnail()->Width(), 30);
    EXPECT_FALSE(second->metaModified || second->fileModified);
    EXPECT_TRUE(second->isimage && second->IsThumbnailLoaded());

    // Loaded objects are left alone...
    LoadThumbnail(*second, thumbs);
    EXPECT_EQ(second->GetThumbnail()->Width(), 30);
    // ...until the file is touched: a last-write time at or after the scan.
    second->SetModified(second->timescanned);
    LoadThumbnail(*second, thumbs);
    EXPECT_TRUE(second->metaModified && second->fileModified);
    EXPECT_EQ(second->GetThumbnail()->Width(), 200);
    EXPECT_EQ(Cached(5).Width(), 200u) << "the cache file is made again";
}

TEST_F(LoaderFixture, ObjectsWithoutAssetIdAreSkipped) {
    const auto object = Object(Save(TestPicture(50, 50), "a.png", imaging::kFormatPng), -1);
    LoadThumbnail(*object, thumbs);
    EXPECT_FALSE(object->IsThumbnailLoaded() || object->metaModified || object->isimage);
    EXPECT_EQ(object->GetThumbnail(), nullptr);
}

TEST_F(LoaderFixture, CameraMetadataReplacesAllButTheUsersTexts) {
    const auto object = Object(testsupport::SharedTestData("exif/exiv2-nikon-d70.jpg"), 8);
    object->description = "Our trip";
    object->equipmodel = "Old model";
    object->equipmake = "Old make";
    object->fnumber = "stale";
    LoadThumbnail(*object, thumbs);
    EXPECT_EQ(object->description, "Our trip");
    EXPECT_EQ(object->equipmodel, "NIKON D70");
    EXPECT_EQ(object->equipmake, "NIKON CORPORATION");
    EXPECT_EQ(object->orientation, "Ccw 90°");
    EXPECT_EQ(object->datetaken, "2004:03:30 10:43:46");
    EXPECT_EQ(object->exposuretime, "0.004 (10/2500)");
    EXPECT_EQ(object->fnumber, "9.0 (90/10)");
    EXPECT_EQ(object->exposureprog, "Normal");
    EXPECT_EQ(object->meteringmode, "Pattern");
    EXPECT_EQ(object->lightsource, "");
    EXPECT_EQ(object->focallength, "50.0 (500/10)");
    EXPECT_GT(object->makernote.size(), 1000u);
    EXPECT_EQ(object->usercomment, std::string(36, ' ')) << "ASCII prefix removed";
    EXPECT_EQ(object->width, 150);
}

TEST_F(LoaderFixture, AsciiIsRemovedFromTheUserComment) {
    const std::string path = Save(TestPicture(64, 48), "comment.jpg", imaging::kFormatJpg);
    ImageMetadata metadata;
    ASSERT_TRUE(metadata.ReadFile(path));
    const std::string comment("ASCII\0\0\0Lake at dawn", 20);
    metadata.SetItem(
        {propertytag::kUserComment, kPropertyUndefined, {comment.begin(), comment.end()}});
    metadata.SetItem({propertytag::kArtist, kPropertyAscii, {'A', 'n', 'n', 0}});
    ASSERT_TRUE(metadata.WriteFile(path));

    const auto fresh = Object(path, 9);
    LoadThumbnail(*fresh, thumbs);
    EXPECT_EQ(fresh->usercomment, "Lake at dawn");
    EXPECT_EQ(fresh->artist, "Ann");

    const auto typed = Object(path, 10);
    typed->usercomment = "mine";
    typed->artist = "Bob";
    LoadThumbnail(*typed, thumbs);
    EXPECT_EQ(typed->usercomment, "mine");
    EXPECT_EQ(typed->artist, "Bob");
}

TEST_F(LoaderFixture, TransparentPixelsShowOverWhite) {
    CxImage picture(20, 10, 24);
    ASSERT_TRUE(picture.AlphaCreate());
    for (std::uint32_t y = 0; y < 10; ++y) {
        for (std::uint32_t x = 0; x < 20; ++x) {
            picture.SetPixelColor(x, y, MakeRgb(0, 0, 0));
            picture.AlphaSet(x, y, x < 10 ? 0 : 255);
        }
    }
    const auto object = Object(Save(picture, "clear.png", imaging::kFormatPng), 11);
    LoadThumbnail(*object, thumbs);
    const ThumbnailDib* dib = object->GetThumbnail();
    ASSERT_NE(dib, nullptr);
    ASSERT_EQ(dib->header.bitCount, 24);
    const std::uint8_t* row = dib->bits.data();
    EXPECT_EQ(row[0] + row[1] + row[2], 3 * 255) << "transparent is white";
    EXPECT_EQ(row[3 * 15] + row[3 * 15 + 1] + row[3 * 15 + 2], 0) << "opaque black stays";
}

TEST_F(LoaderFixture, BrokenInputsLeaveNoThumbnailAndNoCrash) {
    // An image file that does not decode, and one deleted after listing.
    ASSERT_TRUE(testsupport::WriteFile(home.Temp() + "/broken.jpg", "\xFF\xD8\xFF garbage"));
    const auto broken = Object(home.Temp() + "/broken.jpg", 20);
    const auto gone = Object(home.Temp() + "/deleted.jpg", 21);
    for (CFileObject* object : {broken.get(), gone.get()}) {
        LoadThumbnail(*object, thumbs);
        EXPECT_FALSE(object->isimage);
        EXPECT_TRUE(object->metaModified && object->fileModified && object->IsThumbnailLoaded());
        EXPECT_EQ(object->GetThumbnail(), nullptr);
        EXPECT_FALSE(std::filesystem::exists(thumbnails::CachePath(thumbs, object->assetId)));
    }

    // A cache file that exists but does not decode.
    ASSERT_TRUE(testsupport::WriteFile(thumbnails::CachePath(thumbs, 22), "not a png"));
    const auto corrupt = Object(Save(TestPicture(40, 30), "c.png", imaging::kFormatPng), 22);
    corrupt->width = 40;
    corrupt->height = 30;
    corrupt->timescanned = DateTime(2021, 1, 1, 0, 0, 0);
    LoadThumbnail(*corrupt, thumbs);
    EXPECT_EQ(corrupt->GetThumbnail(), nullptr);
    EXPECT_TRUE(corrupt->IsThumbnailLoaded());
    EXPECT_FALSE(corrupt->metaModified);

    // A cache directory that cannot be written: the thumbnail still shows.
    ASSERT_TRUE(testsupport::WriteFile(home.Temp() + "/plainfile", "x"));
    const auto unwritable = Object(Save(TestPicture(40, 30), "u.png", imaging::kFormatPng), 23);
    LoadThumbnail(*unwritable, home.Temp() + "/plainfile/Thumbs");
    ASSERT_NE(unwritable->GetThumbnail(), nullptr);
    EXPECT_EQ(unwritable->GetThumbnail()->Width(), 40);
    EXPECT_TRUE(unwritable->isimage);
}

} // namespace

TEST_F(LoaderFixture, ACameraRawGetsAThumbnail) {
    const std::string path = home.Temp() + "/mosaic.dng";
    const auto dng = imagingtest::MakeTestDng();
    testsupport::WriteFile(path, std::string(dng.begin(), dng.end()));
    const auto raw = Object(path, 7);
    LoadThumbnail(*raw, thumbs);
    EXPECT_TRUE(raw->isimage);
    const CxImage cached = Cached(7);
    ASSERT_TRUE(cached.IsValid());
    // The 32 × 32 mosaic: a half-size decode stands for the file.
    EXPECT_EQ(cached.Width(), cached.Height());
    EXPECT_LE(cached.Width(), static_cast<std::uint32_t>(imagingtest::kTestDngSide));
    EXPECT_GT(raw->width, 0);
    EXPECT_EQ(raw->width, raw->height);
}
