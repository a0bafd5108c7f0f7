#include "files/BrowseManager.h"
#include "files/CachePaths.h"
#include "files/FileObjectRegistry.h"
#include "files/ThumbnailCache.h"
#include "imaging/Image.h"
#include "platform/Messages.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::RawColumn;

namespace {

// A window that keeps what the jobs report to it.
struct Reports {
    platform::WindowHandle handle = 0;
    std::vector<std::uintptr_t> itemsReady;
    std::vector<std::string> scannedFolders;
    int listingsReady = 0;

    Reports() {
        platform::MessageLoop::Instance().SetUiThread();
        handle = platform::MessageLoop::Instance().Register([this](const platform::Message& m) {
            if (m.id == platform::kMsgItemReady) {
                itemsReady.push_back(m.wParam);
            } else if (m.id == platform::kMsgScanningFolder) {
                EXPECT_EQ(m.wParam, reinterpret_cast<std::uintptr_t>(m.payload.get()));
                scannedFolders.push_back(*static_cast<const std::string*>(m.payload.get()));
            } else if (m.id == platform::kMsgListingReady) {
                ++listingsReady;
            }
            return 0;
        });
    }
    ~Reports() { platform::MessageLoop::Instance().Unregister(handle); }
};

struct Indexing {
    testsupport::ScopedTestHome home;
    std::string catalog = testsupport::CopyTemplateCatalog(home);
    std::string thumbs = home.Root() + "/Thumbs";
    CFileObjectRegistry registry{catalog};
    Reports reports;
    std::unique_ptr<CBrowseManager> manager;

    Indexing() {
        fs::create_directories(thumbs);
        files::SetThumbnailDir(thumbs);
        manager = std::make_unique<CBrowseManager>(registry, reports.handle, thumbs);
    }
    ~Indexing() { manager.reset(); }

    static void Picture(const std::string& path, std::uint32_t w = 8, std::uint32_t h = 6) {
        fs::create_directories(fs::path(path).parent_path());
        CxImage image(w, h, 24);
        ASSERT_TRUE(image.SaveFile(path, imaging::kFormatPng)) << path;
    }
    void WaitIdle() {
        ASSERT_TRUE(manager->RunningCounter().IsZeroEvent().Wait(60s));
        platform::MessageLoop::Instance().DrainPending();
    }
    std::string Value(const std::string& sql) { return RawColumn(catalog, sql)[0]; }
};

} // namespace

TEST(ThumbnailJob, MakesEachThumbnailOnceAndReportsEveryEntry) {
    Indexing x;
    const std::string folder = x.home.Root() + "/pics";
    Indexing::Picture(folder + "/a.png", 400, 100);
    Indexing::Picture(folder + "/b.png");
    testsupport::WriteFile(folder + "/notes.txt", "not a picture");
    x.manager->BrowseFolder(folder);
    x.WaitIdle();
    x.manager->StartThumbnails(x.reports.handle);
    x.WaitIdle();
    EXPECT_EQ(x.reports.itemsReady, (std::vector<std::uintptr_t>{0, 1, 2}));
    EXPECT_EQ(x.Value("SELECT COUNT(*) FROM assets WHERE isimage=1"), "2");
    EXPECT_EQ(
        x.Value("SELECT width || 'x' || height FROM image, assets WHERE image.assetid=assets.id "
                "AND filename='a.png'"),
        "400x100");
    CFileObjectPtr a;
    {
        std::lock_guard lock(x.manager->ListingLock());
        a = x.manager->ListingTable().GetAt(0);
    }
    EXPECT_TRUE(fs::exists(thumbnails::CachePath(x.thumbs, a->assetId)));
    EXPECT_FALSE(a->metaModified) << "saved by the job, then cleared";
    EXPECT_FALSE(a->fileModified);

    // Touching the file makes the next pass read it again and mark it changed.
    a->SetThumbnailLoaded(true);
    fs::last_write_time(folder + "/a.png", fs::file_time_type::clock::now() + 1h);
    x.manager->StartThumbnails(x.reports.handle);
    x.WaitIdle();
    EXPECT_EQ(x.Value("SELECT isfilemodified FROM assets WHERE id=" + std::to_string(a->assetId)),
              "1");
}

TEST(ComputerScan, EntersVisibleFoldersOnlyAndRecordsEverything) {
    Indexing x;
    const std::string root = x.home.Root() + "/disk";
    Indexing::Picture(root + "/trip/day1/sea.png");
    Indexing::Picture(root + "/.hidden/secret.png");
    Indexing::Picture(root + "/appdata/inside.png");
    fs::create_directory_symlink(root + "/trip", root + "/link-to-trip");
    setenv("XDG_DATA_HOME", (root + "/appdata").c_str(), 1);
    x.manager->ScanComputer(x.reports.handle, {root});
    x.WaitIdle();
    EXPECT_EQ(x.reports.listingsReady, 1);
    EXPECT_EQ(x.reports.scannedFolders,
              (std::vector<std::string>{root + "/trip", root + "/trip/day1"}));
    EXPECT_EQ(x.reports.itemsReady, std::vector<std::uintptr_t>{0}) << "one picture was reached";
    for (const char* name : {".hidden", "appdata", "link-to-trip", "trip", "day1", "sea.png"}) {
        EXPECT_EQ(x.Value(std::string("SELECT COUNT(*) FROM assets WHERE filename='") + name + "'"),
                  "1")
            << name << " is recorded";
    }
    EXPECT_EQ(x.Value("SELECT COUNT(*) FROM assets WHERE filename='secret.png'"), "0");
    EXPECT_EQ(x.Value("SELECT COUNT(*) FROM assets WHERE filename='inside.png'"), "0");
}

TEST(ComputerScan, TheTableStartsAgainAfter500Images) {
    Indexing x;
    const std::string root = x.home.Root() + "/many";
    for (int i = 0; i < 503; ++i) {
        Indexing::Picture(root + "/p" + std::to_string(i) + ".png", 2, 2);
    }
    x.manager->ScanComputer(x.reports.handle, {root});
    x.WaitIdle();
    ASSERT_EQ(x.reports.itemsReady.size(), 503u);
    EXPECT_EQ(x.reports.itemsReady[500], 500u);
    EXPECT_EQ(x.reports.itemsReady[501], 0u);
    EXPECT_EQ(x.reports.itemsReady[502], 1u);
    std::lock_guard lock(x.manager->ListingLock());
    EXPECT_EQ(x.manager->ListingTable().GetCount(), 2);
}

TEST(CopyJob, CopiesWithoutOverwritingAndListsWhatIsThere) {
    Indexing x;
    const std::string card = x.home.Root() + "/card", dest = x.home.Root() + "/photos";
    Indexing::Picture(card + "/one.png");
    Indexing::Picture(card + "/two.png", 20, 10);
    Indexing::Picture(dest + "/two.png", 3, 3); // already there
    CFileObjectTable sources;
    for (const char* name : {"one.png", "two.png"}) {
        sources.Add(x.registry.GetFileObject(card + "/" + name, x.registry.FolderIdForPath(card)));
    }
    x.manager->CopyIntoFolder(x.reports.handle, dest, sources, false);
    x.WaitIdle();
    EXPECT_EQ(x.reports.itemsReady, (std::vector<std::uintptr_t>{0, 1}));
    EXPECT_EQ(x.reports.listingsReady, 1);
    CxImage kept;
    ASSERT_TRUE(kept.LoadFile(dest + "/two.png"));
    EXPECT_EQ(kept.Width(), 3u) << "the existing file stays";
    EXPECT_TRUE(fs::exists(card + "/one.png")) << "a copy leaves the source";
    std::lock_guard lock(x.manager->ListingLock());
    ASSERT_EQ(x.manager->CopyTable().GetCount(), 2);
    EXPECT_EQ(x.manager->CopyTable().GetAt(1)->width, 3);
}

TEST(SeveralFolders, ListOnlyThePicturesOfEveryFolder) {
    Indexing x;
    const std::string a = x.home.Root() + "/a", b = x.home.Root() + "/b";
    Indexing::Picture(a + "/one.png");
    Indexing::Picture(b + "/two.png");
    testsupport::WriteFile(a + "/fake.jpg", "a text file named as a picture");
    testsupport::WriteFile(b + "/notes.txt", "text");
    fs::create_directories(b + "/sub.png");
    x.manager->BrowseFolders({a, "Computer", b}, x.reports.handle);
    x.WaitIdle();
    EXPECT_EQ(x.reports.listingsReady, 1);
    std::lock_guard lock(x.manager->ListingLock());
    ASSERT_EQ(x.manager->ListingTable().GetCount(), 2);
    EXPECT_EQ(x.manager->ListingTable().GetAt(0)->GetFileName(), "one.png");
    EXPECT_EQ(x.manager->ListingTable().GetAt(1)->GetFileName(), "two.png");
}
