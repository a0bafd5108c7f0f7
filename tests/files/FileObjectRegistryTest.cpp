#include "files/FileObjectRegistry.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

using testsupport::RawColumn;
using testsupport::RawExec;

namespace {

struct Fixture {
    testsupport::ScopedTestHome home;
    std::string path = testsupport::CopyTemplateCatalog(home);

    Fixture() {
        // One row per save: the asset-row update of a save sets filename.
        RawExec(path, "CREATE TABLE saves (assetid INTEGER);"
                      "CREATE TRIGGER count_saves AFTER UPDATE OF filename ON assets "
                      "BEGIN INSERT INTO saves VALUES (NEW.id); END;");
    }
    int Saves() const { return std::stoi(RawColumn(path, "SELECT COUNT(*) FROM saves")[0]); }
};

} // namespace

TEST(FileObjectRegistry, OneObjectPerLivePathAndLetterCaseCounts) {
    Fixture f;
    CFileObjectRegistry registry(f.path);
    const std::int32_t folder = registry.FolderIdForPath("/photos/");
    CFileObjectPtr a = registry.GetFileObject("/photos/Beach.jpg", folder);
    CFileObjectPtr b = registry.GetFileObject("/photos/Beach.jpg", folder);
    CFileObjectPtr other = registry.GetFileObject("/photos/beach.jpg", folder);
    EXPECT_EQ(a.get(), b.get());
    EXPECT_NE(a.get(), other.get());
    EXPECT_NE(a->assetId, -1) << "a new file is added to the catalogue";
    EXPECT_NE(a->assetId, other->assetId);
    EXPECT_EQ(RawColumn(f.path, "SELECT filename FROM assets ORDER BY id"),
              (std::vector<std::string>{"Beach.jpg", "beach.jpg"}));

    const std::int32_t assetId = a->assetId;
    a.Release();
    b.Release();
    EXPECT_EQ(registry.LiveObjectCount(), 1u);
    CFileObjectPtr again = registry.GetFileObject("/photos/Beach.jpg", folder);
    EXPECT_EQ(again->assetId, assetId) << "a fresh object is read from the catalogue";
    EXPECT_EQ(RawColumn(f.path, "SELECT COUNT(*) FROM assets")[0], "2");
}

TEST(FileObjectRegistry, TheLastReleaseSavesAChangedObjectOnce) {
    Fixture f;
    CFileObjectRegistry registry(f.path);
    const std::int32_t folder = registry.FolderIdForPath("/photos");
    {
        CFileObjectPtr h = registry.GetFileObject("/photos/a.jpg", folder);
        CFileObjectPtr copy = h;
        copy->title = "Bob's party";
    }
    EXPECT_EQ(f.Saves(), 0) << "metaModified clear: nothing is written";
    {
        CFileObjectPtr h = registry.GetFileObject("/photos/a.jpg", folder);
        h->isimage = true;
        h->title = "Bob's party";
        h->metaModified = true;
        CFileObjectPtr copy = h;
        h.Release();
        EXPECT_EQ(f.Saves(), 0) << "an outside holder is left";
    }
    EXPECT_EQ(f.Saves(), 1);
    EXPECT_EQ(registry.LiveObjectCount(), 0u);
    EXPECT_EQ(RawColumn(f.path, "SELECT title FROM image")[0], "Bob's party");
    EXPECT_EQ(RawColumn(f.path, "SELECT ismetamodified FROM assets")[0], "1");
}

TEST(FileObjectRegistry, FolderAndKeywordCachesAskTheCatalogueOnce) {
    Fixture f;
    CFileObjectRegistry registry(f.path);
    const std::int32_t id = registry.FolderIdForPath("/Photos/2009");
    EXPECT_EQ(RawColumn(f.path, "SELECT path FROM folders")[0], "/Photos/2009/");
    const std::int32_t keyword = registry.KeywordIdForName("Beach");
    EXPECT_EQ(registry.KeywordNameForId(keyword), "Beach");
    // With the tables gone, only the caches can answer.
    RawExec(f.path, "DROP TABLE folders; DROP TABLE keywords;");
    EXPECT_EQ(registry.FolderIdForPath("/Photos/2009///"), id);
    EXPECT_EQ(registry.FolderPathForId(id), "/Photos/2009/");
    EXPECT_EQ(registry.KeywordIdForName("Beach"), keyword);
    EXPECT_EQ(registry.FolderIdForPath("/photos/2009/"), -1) << "another case is another folder";
    EXPECT_EQ(registry.KeywordNameForId(999), "") << "unknown, and not cached";
}

TEST(FileObjectRegistry, KeywordsTextAndRekeying) {
    Fixture f;
    CFileObjectRegistry registry(f.path);
    CFileObjectPtr h = registry.GetFileObject("/p/x.jpg", registry.FolderIdForPath("/p/"));
    h->keywordIds = {registry.KeywordIdForName("sea"), registry.KeywordIdForName("sun")};
    EXPECT_EQ(h->KeywordsText(), "sea; sun; ");

    registry.RekeyFileObject("/p/x.jpg", "/q/x.jpg");
    h->SetFullPath("/q/x.jpg");
    EXPECT_EQ(registry.GetFileObject("/q/x.jpg", -1).get(), h.get());
    EXPECT_NE(registry.GetFileObject("/p/x.jpg", -1, true).get(), h.get());

    registry.RekeyFileObject("/q/x.jpg", "");
    h->metaModified = true;
    h.Release();
    EXPECT_EQ(f.Saves(), 0) << "an unregistered object is not saved";
}

TEST(FileObjectRegistry, HandlesFromManyThreadsKeepOneObjectPerPathAndSaveOncePerLife) {
    Fixture f;
    CFileObjectRegistry registry(f.path);
    const std::int32_t folder = registry.FolderIdForPath("/stress/");
    constexpr int kPaths = 12;
    std::atomic<bool> stop{false};
    std::atomic<long> mismatches{0};
    auto worker = [&](unsigned seed) {
        std::mt19937 random(seed);
        std::vector<CFileObjectPtr> held;
        while (!stop.load()) {
            const std::string path = "/stress/" + std::to_string(random() % kPaths) + ".jpg";
            CFileObjectPtr h = registry.GetFileObject(path, folder);
            if (registry.GetFileObject(path, folder).get() != h.get()) {
                ++mismatches;
            }
            {
                std::lock_guard lock(registry.Lock());
                h->metaModified = true; // every life of every object ends in one save
            }
            held.push_back(h);
            if (held.size() > 3 || random() % 2 == 0) {
                held.erase(held.begin() + static_cast<long>(random() % held.size()));
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned i = 0; i < 4; ++i) {
        threads.emplace_back(worker, i + 1);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    stop = true;
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(registry.LiveObjectCount(), 0u) << "no handle was lost";
    EXPECT_GT(registry.CreatedObjectCount(), static_cast<std::size_t>(kPaths));
    EXPECT_EQ(static_cast<std::size_t>(f.Saves()), registry.CreatedObjectCount());
}
