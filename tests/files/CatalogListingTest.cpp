#include "files/FileObjectRegistry.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

using testsupport::RawColumn;
using testsupport::RawExec;

namespace {

// A small catalogue whose files exist in the test's home:
//   beach.jpg  rating 5, tag "Beach", title "Sunny day"
//   sea.jpg    rating 0, tag "sea", description "Golden Gate fog"
//   dog.jpg    rating -1 (none), artist "Ann 50% off"
//   img_1.jpg  rating 3, tag "beachball"
//   notes.txt  not an image (file names find it all the same)
struct SearchCatalog {
    testsupport::ScopedTestHome home;
    std::string path = testsupport::CopyTemplateCatalog(home);
    std::string folder = home.Root() + "/pics/";
    std::unique_ptr<CFileObjectRegistry> registry;

    SearchCatalog() {
        std::filesystem::create_directories(folder);
        registry = std::make_unique<CFileObjectRegistry>(path);
        struct File {
            const char* name;
            int rating;
            const char* tag;
            const char* column;
            const char* text;
        };
        const File files[] = {{"beach.jpg", 5, "Beach", "title", "Sunny day"},
                              {"sea.jpg", 0, "sea", "description", "Golden Gate fog"},
                              {"dog.jpg", -1, "", "artist", "Ann 50% off"},
                              {"img_1.jpg", 3, "beachball", "title", ""}};
        const std::int32_t folderId = registry->FolderIdForPath(folder);
        for (const File& file : files) {
            testsupport::WriteFile(folder + file.name, "x");
            CFileObjectPtr h = registry->GetFileObject(folder + file.name, folderId, true);
            h->isimage = true;
            h->rating = file.rating;
            registry->Catalog().InsertAsset(h.get());
            RawExec(path, FormatSql("UPDATE image SET %s='%s' WHERE assetid=%d", file.column,
                                    file.text, h->assetId));
            if (*file.tag != '\0') {
                h->keywordIds = {registry->KeywordIdForName(file.tag)};
                registry->Catalog().WriteKeywordLinks(h.get());
            }
        }
        testsupport::WriteFile(folder + "notes.txt", "x");
        CFileObjectPtr notes = registry->GetFileObject(folder + "notes.txt", folderId);
    }

    std::set<std::string> Search(const std::string& text) {
        CCatalog catalog(path);
        catalog.OpenMain();
        catalog.SetRegistry(registry.get());
        CFileObjectTable table;
        catalog.QuickSearch(text, table);
        std::set<std::string> names;
        for (const auto& h : table) {
            names.insert(h->GetFileName());
        }
        return names;
    }
};

} // namespace

TEST(QuickSearch, FindsThePhotosOfEachTermAndTheirUnion) {
    SearchCatalog c;
    using Names = std::set<std::string>;
    struct Case {
        const char* text;
        Names found;
    };
    const Case cases[] = {
        {"Beach", {"beach.jpg", "img_1.jpg"}},
        {"beach", {"beach.jpg", "img_1.jpg"}},
        {"TAG:beach", {"beach.jpg", "img_1.jpg"}},
        {"tag: beach", {"beach.jpg", "img_1.jpg"}},
        {"filename:beach", {"beach.jpg"}},
        {"rating:3", {}},
        {"rating:=0", {"sea.jpg"}},
        {"rating:<2", {"sea.jpg", "dog.jpg"}},
        {"rating:>7", {}},
        {"rating:>35", {"beach.jpg"}},
        {"rating:>3", {"beach.jpg"}},
        {"img_", {"img_1.jpg"}},
        {"b%ball", {"img_1.jpg"}},
        {"50%", {"dog.jpg"}},
        {"\"golden gate\" sunny", {"sea.jpg", "beach.jpg"}},
        {"\"gate fog", {"sea.jpg"}},
        {"notes", {"notes.txt"}},
        {"", {}},
        {"'; DROP TABLE assets; --", {}},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(c.Search(k.text), k.found) << k.text;
    }
    EXPECT_EQ(RawColumn(c.path, "SELECT COUNT(*) FROM assets")[0], "5");
}

TEST(QuickSearch, AHitWhoseFileIsGoneLeavesTheCatalogue) {
    SearchCatalog c;
    std::filesystem::remove(c.folder + "sea.jpg");
    EXPECT_TRUE(c.Search("gate").empty());
    EXPECT_EQ(RawColumn(c.path, "SELECT COUNT(*) FROM assets WHERE filename='sea.jpg'")[0], "0");
    EXPECT_EQ(RawColumn(c.path, "SELECT COUNT(*) FROM image")[0], "3");
    EXPECT_EQ(RawColumn(c.path, "SELECT COUNT(*) FROM keywords WHERE keyword='sea'")[0], "1")
        << "keywords stay";
}

TEST(QuickSearch, ListedObjectsCarryTheirCatalogueData) {
    SearchCatalog c;
    CCatalog catalog(c.path);
    catalog.OpenMain();
    catalog.SetRegistry(c.registry.get());
    CFileObjectTable table;
    catalog.QuickSearch("sunny", table);
    ASSERT_EQ(table.GetCount(), 1);
    CFileObjectPtr h = table.GetAt(0);
    EXPECT_EQ(h->GetFullPath(), c.folder + "beach.jpg");
    EXPECT_TRUE(h->isimage);
    EXPECT_EQ(h->rating, 5);
    EXPECT_EQ(h->title, "Sunny day");
    EXPECT_EQ(h->KeywordsText(), "Beach; ");
}

TEST(SystemAlbums, ListTheIdsTheirStatementReturns) {
    SearchCatalog c;
    CCatalog catalog(c.path);
    catalog.OpenMain();
    catalog.SetRegistry(c.registry.get());
    AlbumInfo topRated;
    ASSERT_TRUE(catalog.ReadAlbum(3, topRated));
    ASSERT_EQ(topRated.system, 1);
    CFileObjectTable table;
    catalog.RunIdQuery(topRated.search, table);
    ASSERT_EQ(table.GetCount(), 1);
    EXPECT_EQ(table.GetAt(0)->GetFileName(), "beach.jpg");

    CFileObjectTable all;
    catalog.RunIdQuery("SELECT id FROM assets WHERE isimage=1", all);
    EXPECT_EQ(all.GetCount(), 4);
    CFileObjectTable broken;
    catalog.RunIdQuery("SELECT nothing FROM nowhere", broken);
    EXPECT_EQ(broken.GetCount(), 0);
}

TEST(AlbumListing, ListsMembersThatExistAndDropsTheOthers) {
    SearchCatalog c;
    CCatalog catalog(c.path);
    catalog.OpenMain();
    catalog.SetRegistry(c.registry.get());
    catalog.InsertAlbum("Trip", "Trip", "", 0, 0, 0);
    const std::int32_t album = std::stoi(RawColumn(c.path, "SELECT MAX(id) FROM albums")[0]);
    for (const char* name : {"beach.jpg", "dog.jpg"}) {
        CFileObjectPtr h =
            c.registry->GetFileObject(c.folder + name, c.registry->FolderIdForPath(c.folder));
        catalog.AddToAlbum(album, h.get());
    }
    std::filesystem::remove(c.folder + "dog.jpg");
    CFileObjectTable table;
    catalog.ListAlbumAssets(album, table);
    ASSERT_EQ(table.GetCount(), 1);
    EXPECT_EQ(table.GetAt(0)->GetFileName(), "beach.jpg");
    EXPECT_EQ(table.GetAt(0)->title, "Sunny day");
    EXPECT_EQ(RawColumn(c.path, "SELECT COUNT(*) FROM assettoalbum")[0], "1");
    EXPECT_EQ(RawColumn(c.path, "SELECT COUNT(*) FROM assets WHERE filename='dog.jpg'")[0], "0");
}

TEST(QuickSearch, ThousandsOfHitsAreListedWithTheirMetadata) {
    SearchCatalog c;
    const std::string folder = c.home.Root() + "/many/";
    std::filesystem::create_directories(folder);
    const std::int32_t folderId = c.registry->FolderIdForPath(folder);
    const std::int32_t keyword = c.registry->KeywordIdForName("harbour");
    std::string sql = "BEGIN;";
    constexpr int kPhotos = 1203; // more than two batches
    for (int i = 0; i < kPhotos; ++i) {
        const std::string name = "h" + std::to_string(i) + ".jpg";
        testsupport::WriteFile(folder + name, "x");
        const int id = 1000 + i;
        sql += FormatSql(
            "INSERT INTO assets (id, folderid, filename, isimage) VALUES (%d, %d, '%s', 1);"
            "INSERT INTO image (assetid, title, rating) VALUES (%d, 'Boat %d', 2);"
            "INSERT INTO assettokeyword (keywordid, assetid) VALUES (%d, %d);",
            id, folderId, name.c_str(), id, i, keyword, id);
    }
    RawExec(c.path, sql + "COMMIT;");
    std::filesystem::remove(folder + "h7.jpg");

    CCatalog catalog(c.path);
    catalog.OpenMain();
    catalog.SetRegistry(c.registry.get());
    CFileObjectTable table;
    catalog.QuickSearch("tag:harbour", table);
    ASSERT_EQ(table.GetCount(), kPhotos - 1);
    for (const auto& h : table) {
        EXPECT_EQ(h->title, "Boat " + h->GetFileName().substr(1, h->GetFileName().size() - 5));
        EXPECT_EQ(h->rating, 2);
        EXPECT_EQ(h->keywordIds, std::vector<std::int32_t>{keyword});
    }
    EXPECT_EQ(RawColumn(c.path, "SELECT COUNT(*) FROM assets WHERE filename='h7.jpg'")[0], "0");
}
