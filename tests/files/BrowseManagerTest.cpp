#include "files/BrowseManager.h"
#include "files/FileObjectRegistry.h"

#include "platform/MessageBox.h"
#include "platform/Messages.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <random>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A window that counts the listing-ready messages it is posted.
struct ReportWindow {
    platform::WindowHandle handle = 0;
    int listingsReady = 0;

    ReportWindow() {
        platform::MessageLoop::Instance().SetUiThread();
        handle = platform::MessageLoop::Instance().Register([this](const platform::Message& m) {
            if (m.id == platform::kMsgListingReady) {
                EXPECT_EQ(m.wParam, 1u);
                ++listingsReady;
            }
            return 0;
        });
    }
    ~ReportWindow() {
        platform::MessageLoop::Instance().DrainPending();
        platform::MessageLoop::Instance().Unregister(handle);
    }
};

struct Browsing {
    testsupport::ScopedTestHome home;
    std::string catalog = testsupport::CopyTemplateCatalog(home);
    std::string thumbs = home.Root() + "/Thumbs";
    CFileObjectRegistry registry{catalog};
    ReportWindow window;
    std::unique_ptr<CBrowseManager> manager =
        std::make_unique<CBrowseManager>(registry, window.handle, thumbs);

    ~Browsing() { manager.reset(); }

    std::string MakeFolder(const std::string& name, int files) {
        const std::string folder = home.Root() + "/" + name;
        fs::create_directories(folder);
        for (int i = 0; i < files; ++i) {
            testsupport::WriteFile(folder + "/f" + std::to_string(i) + ".jpg", "");
        }
        return folder;
    }

    // Waits (with a harness time-out, not a timing assertion) until no job runs.
    void WaitIdle() {
        ASSERT_TRUE(manager->RunningCounter().IsZeroEvent().Wait(60s)) << "a job never ended";
        platform::MessageLoop::Instance().DrainPending();
    }

    std::vector<std::string> ListedNames() {
        std::lock_guard lock(manager->ListingLock());
        std::vector<std::string> names;
        for (const auto& h : manager->ListingTable()) {
            names.push_back(h->GetFileName());
        }
        return names;
    }
};

} // namespace

TEST(BrowseManager, AFolderListsEveryEntrySortedAndRecordsIt) {
    Browsing b;
    const std::string folder = b.MakeFolder("pics", 3);
    fs::create_directories(folder + "/Sub");
    testsupport::WriteFile(folder + "/.hidden", "");
    testsupport::WriteFile(folder + "/bad\xff\xfe name.jpg", "");
    fs::create_symlink(folder + "/loop", folder + "/loop"); // a link to itself
    ASSERT_EQ(b.manager->BrowseFolder(folder), 1);
    b.WaitIdle();
    EXPECT_EQ(b.window.listingsReady, 1);
    EXPECT_EQ(b.ListedNames(), (std::vector<std::string>{"Sub", ".hidden", "bad\xff\xfe name.jpg",
                                                         "f0.jpg", "f1.jpg", "f2.jpg", "loop"}));
    {
        std::lock_guard lock(b.manager->ListingLock());
        for (const auto& h : b.manager->ListingTable()) {
            EXPECT_NE(h->assetId, -1) << h->GetFileName() << ": browsing is indexing";
            EXPECT_EQ(h->IsHidden(), h->GetFileName() == ".hidden");
            EXPECT_TRUE(h->GetModified().IsValid());
        }
    }
    EXPECT_EQ(testsupport::RawColumn(b.catalog, "SELECT COUNT(*) FROM assets")[0], "7");
    EXPECT_FALSE(b.manager->AnyJobRegistered()) << "an ended job leaves its store";
}

TEST(BrowseManager, EmptyAndUnreadableFoldersListEmpty) {
    Browsing b;
    for (const std::string& folder : {b.MakeFolder("empty", 0), b.home.Root() + "/missing"}) {
        const int before = b.window.listingsReady;
        b.manager->BrowseFolder(folder);
        b.WaitIdle();
        EXPECT_EQ(b.window.listingsReady, before + 1) << folder;
        EXPECT_TRUE(b.ListedNames().empty());
    }
}

TEST(BrowseManager, ALargeFolderListsCompletely) {
    Browsing b;
    const std::string folder = b.MakeFolder("large", 10000);
    b.manager->BrowseFolder(folder);
    b.WaitIdle();
    EXPECT_EQ(b.window.listingsReady, 1);
    EXPECT_EQ(b.ListedNames().size(), 10000u);
}

TEST(BrowseManager, ClickingFiveFoldersLeavesOnlyTheLastListing) {
    Browsing b;
    std::vector<std::string> folders;
    for (int i = 0; i < 5; ++i) {
        folders.push_back(b.MakeFolder("f" + std::to_string(i), 1500));
    }
    testsupport::WriteFile(folders.back() + "/last-one.jpg", "");
    for (const std::string& folder : folders) {
        b.manager->BrowseFolder(folder);
    }
    b.WaitIdle();
    EXPECT_EQ(b.window.listingsReady, 1) << "quit jobs post nothing";
    EXPECT_EQ(b.ListedNames().size(), 1501u);
    EXPECT_FALSE(b.manager->AnyJobRegistered());
    EXPECT_EQ(b.manager->HistorySize(), 5);
}

TEST(BrowseManager, QuittingAtRandomPointsThenShuttingDownNeverHangs) {
    Browsing b;
    const std::string folder = b.MakeFolder("many", 400);
    std::mt19937 random(7);
    AlbumInfo quickFind;
    quickFind.id = 1;
    quickFind.system = 1;
    quickFind.search = "SELECT id FROM assets WHERE isimage=1";
    for (int i = 0; i < 30; ++i) {
        switch (random() % 4) {
        case 0:
            b.manager->BrowseFolder(folder);
            break;
        case 1:
            b.manager->Search("f1");
            break;
        case 2:
            b.manager->BrowseAlbum(quickFind);
            break;
        default:
            b.manager->BrowseDriveList();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 20));
    }
    auto shutdown = std::async(std::launch::async, [&] { b.manager.reset(); });
    ASSERT_EQ(shutdown.wait_for(60s), std::future_status::ready) << "shutdown hung";
}

TEST(BrowseManager, ShutdownWaitsForARunningAlbumListing) {
    Browsing b;
    // Holding the listing lock keeps the album listing from filling the table.
    std::unique_lock hold(b.manager->ListingLock());
    AlbumInfo album;
    album.id = 7;
    b.manager->BrowseAlbum(album);
    auto shutdown = std::async(std::launch::async, [&] { b.manager.reset(); });
    EXPECT_EQ(shutdown.wait_for(300ms), std::future_status::timeout) << "it did not wait";
    hold.unlock();
    ASSERT_EQ(shutdown.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(b.window.listingsReady, 0) << "nothing was drained yet";
    platform::MessageLoop::Instance().DrainPending();
    EXPECT_EQ(b.window.listingsReady, 1) << "the album listing ran to its end";
}

TEST(BrowseManager, HistoryBackForwardAndAFreshBranch) {
    Browsing b;
    std::vector<std::string> folders;
    for (const char* name : {"one", "two", "three", "four"}) {
        folders.push_back(b.MakeFolder(name, 1));
        b.manager->BrowseFolder(folders.back());
        b.WaitIdle();
    }
    EXPECT_EQ(b.manager->HistoryIndex(), 3);
    EXPECT_EQ(b.manager->Forward(), folders[3]) << "at the end it re-browses the last entry";
    EXPECT_EQ(b.manager->Back(), folders[2]);
    EXPECT_EQ(b.manager->Back(), folders[1]);
    b.WaitIdle();
    EXPECT_EQ(b.ListedNames(), std::vector<std::string>{"f0.jpg"});
    b.manager->Search("f0");
    EXPECT_EQ(b.manager->HistorySize(), 3) << "the two forward entries are dropped";
    EXPECT_EQ(b.manager->CurrentLocation()->kind, BrowseLocation::kSearch);
    EXPECT_EQ(b.manager->Back(), folders[1]);
    EXPECT_EQ(b.manager->Back(), folders[0]);
    EXPECT_EQ(b.manager->Back(), folders[0]) << "at 0 it re-browses entry 0";
    EXPECT_EQ(b.manager->HistoryIndex(), 0);
    b.WaitIdle();
}

TEST(BrowseManager, TheThumbnailCacheIsNotBrowsed) {
    Browsing b;
    auto script = std::make_shared<platform::ScriptedMessageBoxes>();
    platform::SetMessageBoxPresenter(script);
    const std::string folder = b.MakeFolder("pics", 2);
    fs::create_directories(b.thumbs);
    b.manager->BrowseFolder(folder);
    b.WaitIdle();
    EXPECT_EQ(b.manager->BrowseFolder(b.thumbs + "/"), 0);
    b.WaitIdle();
    platform::SetMessageBoxPresenter(nullptr);
    ASSERT_EQ(script->Shown().size(), 1u);
    EXPECT_EQ(script->Shown()[0].text,
              "You are attempting to browse the thumbnail cache.\nThis is not supported.");
    EXPECT_EQ(b.window.listingsReady, 2) << "the current location is browsed again";
    EXPECT_EQ(b.manager->HistorySize(), 1);
    EXPECT_EQ(b.ListedNames().size(), 2u);
}

TEST(BrowseManager, DrivesSearchesAlbumsAndTheBasket) {
    Browsing b;
    const std::string folder = b.MakeFolder("pics", 3);
    b.manager->BrowseFolder(folder);
    b.WaitIdle();
    CFileObjectTable basket;
    {
        std::lock_guard lock(b.manager->ListingLock());
        basket.Add(b.manager->ListingTable().GetAt(2));
        basket.Add(b.manager->ListingTable().GetAt(0));
    }

    b.manager->BrowseDriveList();
    b.WaitIdle();
    {
        std::lock_guard lock(b.manager->ListingLock());
        ASSERT_GT(b.manager->ListingTable().GetCount(), 0);
        bool root = false;
        for (const auto& h : b.manager->ListingTable()) {
            EXPECT_TRUE(h->IsDrive() && h->isfolder);
            root = root || h->GetFileName() == "/";
        }
        EXPECT_TRUE(root);
    }
    b.manager->BrowseFolder("computer");
    b.WaitIdle();
    EXPECT_EQ(b.manager->CurrentLocation()->text, folder) << "the drive list adds no history";

    b.manager->Search("f1");
    b.WaitIdle();
    EXPECT_EQ(b.ListedNames(), std::vector<std::string>{"f1.jpg"});

    b.manager->ShowBasket(basket);
    platform::MessageLoop::Instance().DrainPending();
    EXPECT_EQ(b.ListedNames(), (std::vector<std::string>{"f2.jpg", "f0.jpg"})) << "basket order";
    EXPECT_EQ(b.manager->CurrentLocation()->text, "Mini Basket");
}
