#include "files/draw/ThumbnailManager.h"

#include "files/FileObject.h"
#include "files/FileObjectRegistry.h"
#include "files/ThumbnailCache.h"
#include "files/ThumbnailDib.h"
#include "imaging/Image.h"
#include "imaging/ImageFormats.h"

#include "CatalogFixture.h"
#include "TestEnv.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

std::string Resources() {
    return testsupport::SourceDir() + "/resources";
}

std::unique_ptr<CFileObject> Object(const std::string& path) {
    return std::make_unique<CFileObject>(path, nullptr);
}

// A plain-coloured thumbnail of w × h.
std::unique_ptr<ThumbnailDib> Thumb(int w, int h, RgbQuad colour) {
    CxImage picture(static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h), 24);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            picture.SetPixelColor(x, y, colour);
        }
    }
    return ThumbnailDib::FromImage(picture);
}

QImage Canvas(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

TEST(ThumbnailManager, IconKeysFollowKindContentTypeAndExtension) {
    const CThumbnailManager manager(Resources());
    const struct {
        const char* path;
        bool folder, drive;
        const char* key;
        const char* file;
    } cases[] = {
        {"/p/archive.ZIP", false, false, "compressed", "zip.png"},
        {"/p/disc.iso", false, false, "compressed", "zip.png"},
        {"/p/raw.NEF", false, false, "image", "image.png"},
        {"/p/photo.jpeg", false, false, "image", "image.png"},
        {"/p/build.log", false, false, ".log", "txt.png"},
        {"/p/notes.txt", false, false, ".txt", "txt.png"},
        {"/p/letter.DOC", false, false, "default", "default.png"},
        {"/p/letter.doc", false, false, ".doc", "doc.png"},
        {"/p/table.xls", false, false, ".xls", "xls.png"},
        {"/p/setup.exe", false, false, ".exe", "exe.png"},
        {"/p/strange.qqq", false, false, "default", "default.png"},
        {"/p/no extension", false, false, "default", "default.png"},
        {"/p/page.htm", false, false, ".html", "html.png"},
        {"/p/page.html", false, false, ".html", "html.png"},
        {"/p/Holiday", true, false, "folder", "folder.png"},
        {"/media/card", true, true, "drive", "drive.png"},
    };
    for (const auto& c : cases) {
        auto object = Object(c.path);
        object->isfolder = c.folder;
        object->SetDrive(c.drive);
        EXPECT_EQ(manager.IconKeyFor(*object), c.key) << c.path;
        const QImage* icon = manager.IconFor(*object);
        ASSERT_NE(icon, nullptr) << c.path;
        const QImage expected = QImage(QString::fromStdString(Resources() + "/FileTypes/" + c.file))
                                    .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(*icon, expected) << c.path << " is drawn with " << c.file;
    }
}

TEST(ThumbnailManager, MissingIconsFallBackToDefaultOrNothing) {
    testsupport::ScopedTestHome home;
    const CThumbnailManager empty(home.Temp());
    const auto object = Object("/p/a.zip");
    EXPECT_EQ(empty.IconKeyFor(*object), "default");
    EXPECT_EQ(empty.IconFor(*object), nullptr);
    QImage canvas = Canvas(50, 50);
    QPainter painter(&canvas);
    empty.Draw(*object, painter, Qt::white, {0, 0, 50, 50}, 3); // draws nothing, no crash
    painter.end();
    EXPECT_EQ(canvas.pixel(25, 25), qRgb(0, 0, 0));
}

TEST(ThumbnailManager, PlacementFitsCentresAndNeverEnlarges) {
    const struct {
        int w, h;
        CellRect cell;
        int border;
        CellRect expected;
    } cases[] = {
        {200, 150, {0, 0, 110, 100}, 3, {4, 12, 108, 90}},
        {20, 10, {0, 0, 100, 100}, 3, {41, 46, 61, 56}},
        {0, 0, {0, 0, 100, 120}, 3, {51, 61, 51, 61}},
        {48, 48, {10, 20, 110, 120}, 0, {37, 47, 85, 95}},
        {150, 200, {0, 0, 60, 60}, 0, {9, 1, 54, 61}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CThumbnailManager::Placement(c.w, c.h, c.cell, c.border), c.expected)
            << c.w << " x " << c.h;
    }
}

TEST(ThumbnailManager, ImageWithoutThumbnailShowsTheSixPixelFrame) {
    const CThumbnailManager manager(Resources());
    auto object = Object("/p/new.jpg");
    object->isimage = true;
    QImage canvas = Canvas(100, 120);
    QPainter painter(&canvas);
    manager.Draw(*object, painter, Qt::white, {0, 0, 100, 120}, 3);
    painter.end();
    int white = 0;
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 100; ++x) {
            const bool inSquare = x >= 48 && x < 54 && y >= 58 && y < 64;
            const bool isWhite = canvas.pixel(x, y) == qRgb(255, 255, 255);
            EXPECT_EQ(isWhite, inSquare) << x << "," << y;
            white += isWhite;
        }
    }
    EXPECT_EQ(white, 36);
}

TEST(ThumbnailManager, ThumbnailIsDrawnScaledInsideItsFrame) {
    const CThumbnailManager manager(Resources());
    auto object = Object("/p/big.jpg");
    object->isimage = true;
    object->SetThumbnail(Thumb(200, 150, MakeRgb(10, 200, 30)));
    QImage canvas = Canvas(110, 100);
    QPainter painter(&canvas);
    manager.Draw(*object, painter, QColor(255, 0, 255), {0, 0, 110, 100}, 3);
    painter.end();
    // Drawn at (4, 12)-(108, 90), the frame three pixels around it.
    EXPECT_EQ(canvas.pixel(4, 12), qRgb(10, 200, 30));
    EXPECT_EQ(canvas.pixel(107, 89), qRgb(10, 200, 30));
    EXPECT_EQ(canvas.pixel(3, 50), qRgb(255, 0, 255));
    EXPECT_EQ(canvas.pixel(1, 9), qRgb(255, 0, 255));
    EXPECT_EQ(canvas.pixel(0, 50), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(50, 8), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(50, 93), qRgb(0, 0, 0));
}

TEST(ThumbnailManager, NonImageDrawsItsIconUnscaledAtTheCentre) {
    const CThumbnailManager manager(Resources());
    const auto object = Object("/p/a.zip");
    QImage canvas = Canvas(100, 100);
    QPainter painter(&canvas);
    manager.Draw(*object, painter, Qt::white, {0, 0, 100, 100}, 3);
    painter.end();
    const QImage* icon = manager.IconFor(*object);
    ASSERT_NE(icon, nullptr);
    // 48 × 48 at (27, 27); an opaque icon pixel shows as it is.
    const QRgb p = icon->pixel(24, 30);
    ASSERT_EQ(qAlpha(p), 255);
    EXPECT_EQ(canvas.pixel(27 + 24, 27 + 30), p | 0xFF000000u);
    EXPECT_EQ(canvas.pixel(26, 26), qRgb(0, 0, 0));
}

TEST(ThumbnailManager, StackDrawsAtMostTwentyWithTheLastOnTop) {
    testsupport::ScopedTestHome home;
    CFileObjectRegistry registry{testsupport::CopyTemplateCatalog(home)};
    const RgbQuad blue = MakeRgb(0, 0, 255), green = MakeRgb(0, 255, 0), red = MakeRgb(255, 0, 0);
    CFileObjectTable table;
    for (int i = 0; i < 25; ++i) {
        CFileObjectPtr h = registry.GetFileObject("/p/" + std::to_string(i) + ".jpg", -1, true);
        h->isimage = true;
        // Entries past the twentieth are red: none of it may show.
        h->SetThumbnail(Thumb(40, 40, i >= 20 ? red : (i == 19 ? green : blue)));
        table.Add(h);
    }
    ASSERT_EQ(table.GetCount(), 25);
    QImage canvas = Canvas(200, 200);
    QPainter painter(&canvas);
    CThumbnailManager(Resources()).DrawStack(table, painter, {100, 100, 150, 150});
    painter.end();
    // The twentieth lies on top at the given cell: drawn at (106, 106), 40 × 40.
    EXPECT_EQ(canvas.pixel(106, 106), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(145, 145), qRgb(0, 255, 0));
    EXPECT_EQ(canvas.pixel(146, 146), qRgb(255, 255, 255)) << "white frame of two";
    EXPECT_EQ(canvas.pixel(148, 148), qRgb(0, 0, 0));
    // The first sits 3 × 19 pixels up and left: drawn at (49, 49).
    EXPECT_EQ(canvas.pixel(49, 49), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(47, 47), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(46, 46), qRgb(0, 0, 0));
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            ASSERT_NE(canvas.pixel(x, y), qRgb(255, 0, 0)) << x << "," << y;
        }
    }
}

// The loader replacing thumbnails on a worker while the user-interface
// thread draws the same object: every drawing shows a whole thumbnail.
TEST(ThumbnailManager, DrawingWhileTheLoaderReplacesTheThumbnail) {
    testsupport::ScopedTestHome home;
    CxImage picture(300, 200, 24);
    const std::string path = home.Temp() + "/busy.png";
    ASSERT_TRUE(picture.SaveFile(path, imaging::kFormatPng));
    const std::string thumbs = home.Temp();
    const CThumbnailManager manager(Resources());
    CFileObject object(path, nullptr);
    object.assetId = 1;
    object.isimage = true; // as the catalogue knows it
    std::atomic<bool> stop{false};
    std::thread loader([&] {
        for (int i = 0; i < 30; ++i) {
            {
                std::lock_guard lock(object.Lock());
                object.SetThumbnailLoaded(false);
                object.width = -1; // forces a new thumbnail from the file
            }
            LoadThumbnail(object, thumbs);
        }
        stop = true;
    });
    int drawings = 0;
    while (!stop) {
        QImage canvas = Canvas(120, 100);
        QPainter painter(&canvas);
        manager.Draw(object, painter, Qt::white, {0, 0, 120, 100}, 3);
        painter.end();
        const QRgb centre = canvas.pixel(61, 51);
        // A drawn thumbnail is black; before the first one only the frame shows.
        EXPECT_TRUE(centre == qRgb(0, 0, 0) || centre == qRgb(255, 255, 255));
        ++drawings;
    }
    loader.join();
    EXPECT_TRUE(object.isimage);
    ASSERT_NE(object.GetThumbnail(), nullptr);
    EXPECT_EQ(object.GetThumbnail()->Width(), 200);
}

} // namespace
