// Statements that fail part-way: every operation catches the failure itself,
// keeps what it already did, and hands back its failure value.

#include "catalogue/Catalog.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <functional>

using testsupport::TemplateCatalog;

namespace {

using Rows = std::vector<std::string>;

std::string Id(std::int32_t id) {
    return std::to_string(id);
}

// A catalogue with one image (keyword and user album attached), for the
// operations to fail on.
struct Scene {
    TemplateCatalog db;
    AssetRecord photo;
    AssetRecord bare; // an image whose image row is missing
    std::int32_t album = -1;

    Scene() {
        photo.folderId = db.Catalog().LookupFolderId("/photos/");
        photo.fileName = "Bob's.jpg";
        photo.isimage = true;
        EXPECT_TRUE(db.Catalog().InsertAsset(&photo));
        photo.keywordIds = {db.Catalog().LookupKeywordId("sea")};
        db.Catalog().WriteKeywordLinks(&photo);
        db.Catalog().InsertAlbum("Trip", "Trip", "", 0, 0, 0);
        album = std::stoi(db.Value("SELECT MAX(id) FROM albums"));
        db.Catalog().AddToAlbum(album, &photo);
        bare.folderId = photo.folderId;
        bare.fileName = "bare.jpg";
        bare.isimage = true;
        EXPECT_TRUE(db.Catalog().InsertAsset(&bare));
        db.Exec("DELETE FROM image WHERE assetid=" + std::to_string(bare.assetId));
        db.Exec("UPDATE assets SET ismetamodified=0");
    }

    AssetRecord Lookup() {
        AssetRecord record;
        record.folderId = photo.folderId;
        record.fileName = photo.fileName;
        return record;
    }
};

// Each operation's failure value, given an operation that cannot complete.
struct Operation {
    const char* name;
    std::function<bool(Scene&)> failsCleanly;
};

const Operation kWrites[] = {
    {"InsertAsset",
     [](Scene& s) {
         AssetRecord record;
         record.folderId = s.photo.folderId;
         record.fileName = "new.jpg";
         record.isimage = true;
         return !s.db.Catalog().InsertAsset(&record) && record.assetId == -1;
     }},
    {"SaveAsset", [](Scene& s) { return !s.db.Catalog().SaveAsset(&s.photo); }},
    {"SaveImage", [](Scene& s) { return !s.db.Catalog().SaveImage(&s.photo); }},
    {"SaveAssetOnRelease", [](Scene& s) { return !s.db.Catalog().SaveAssetOnRelease(&s.photo); }},
    {"InsertImage", [](Scene& s) { return !s.db.Catalog().InsertImage(&s.bare); }},
    {"SaveImage of a missing row", [](Scene& s) { return !s.db.Catalog().SaveImage(&s.bare); }},
    {"InsertFolder", [](Scene& s) { return s.db.Catalog().InsertFolder("/new/") == -1; }},
    {"LookupFolderId of a new path",
     [](Scene& s) { return s.db.Catalog().LookupFolderId("/new/") == -1; }},
    {"InsertKeyword", [](Scene& s) { return s.db.Catalog().InsertKeyword("new") == -1; }},
    {"LookupKeywordId of a new text",
     [](Scene& s) { return s.db.Catalog().LookupKeywordId("new") == -1; }},
    {"DeleteAsset",
     [](Scene& s) {
         s.db.Catalog().DeleteAsset(&s.photo);
         return s.db.Value("SELECT COUNT(*) FROM assets WHERE id=" + Id(s.photo.assetId)) == "1";
     }},
    {"DeleteAlbum",
     [](Scene& s) {
         s.db.Catalog().DeleteAlbum(s.album);
         return s.db.Value("SELECT COUNT(*) FROM albums WHERE id=" + Id(s.album)) == "1";
     }},
    {"AddToAlbum and the membership removals",
     [](Scene& s) {
         s.db.Catalog().AddToAlbum(1, &s.photo);
         s.db.Catalog().RemoveFromAlbum(&s.photo, s.album);
         s.db.Catalog().RemoveFromAllAlbums(&s.photo);
         return s.db.Column("SELECT albumid FROM assettoalbum") == Rows{Id(s.album)};
     }},
    {"album edits",
     [](Scene& s) {
         s.db.Catalog().InsertAlbum("x", "x", "", 0, 0, 0);
         s.db.Catalog().EditAlbum(s.album, "y", "y", "", 1, 1);
         s.db.Catalog().SetAlbumPublished(s.album, true);
         s.db.Catalog().MoveAlbum(s.album, 1);
         s.db.Catalog().UpdateFolderPath(s.photo.folderId, "/moved/");
         return s.db.Column("SELECT title || parentalbum || ismodified FROM albums WHERE id > 5") ==
                    Rows{"Trip00"} &&
                s.db.Value("SELECT path FROM folders") == "/photos/";
     }},
};

// How the catalogue refuses to be written.
enum class Refusal { ReadOnlyFile, LockedByAnotherConnection };

class CatalogRefusingWrites : public ::testing::TestWithParam<Refusal> {};

} // namespace

TEST_P(CatalogRefusingWrites, WritesReturnTheirFailureValueAndReadsStillWork) {
    for (const Operation& operation : kWrites) {
        SCOPED_TRACE(operation.name);
        Scene scene;
        CppSQLite3DB locker;
        if (GetParam() == Refusal::ReadOnlyFile) {
            // The way SQLite opens a file it may not write: read-only, so
            // every write fails with SQLITE_READONLY whatever the test's
            // privileges are.
            scene.db.Reopen("file:" + scene.db.Path() + "?mode=ro");
        } else {
            scene.db.Catalog().MainDb().SetBusyTimeout(50);
            locker.Open(scene.db.Path());
            locker.Execute("BEGIN EXCLUSIVE");
        }
        EXPECT_TRUE(operation.failsCleanly(scene));

        AssetRecord read = scene.Lookup();
        EXPECT_TRUE(scene.db.Catalog().LookupAsset(&read)) << "reading needs no write lock";
        EXPECT_EQ(read.keywordIds, scene.photo.keywordIds);
        if (locker.IsOpen()) {
            locker.Execute("ROLLBACK");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Refusals, CatalogRefusingWrites,
                         ::testing::Values(Refusal::ReadOnlyFile,
                                           Refusal::LockedByAnotherConnection),
                         [](const ::testing::TestParamInfo<Refusal>& info) {
                             return info.param == Refusal::ReadOnlyFile
                                        ? std::string("ReadOnlyFile")
                                        : std::string("LockedByAnotherConnection");
                         });

TEST(CatalogFailure, AMissingTableEndsTheOperationWithItsFailureValue) {
    struct Case {
        const char* dropped;
        std::function<bool(Scene&)> failsCleanly;
    };
    const Case cases[] = {
        {"assets",
         [](Scene& s) {
             AssetRecord record = s.Lookup();
             return !s.db.Catalog().LookupAsset(&record) && record.assetId == -1;
         }},
        {"image",
         [](Scene& s) {
             AssetRecord record = s.Lookup();
             // The asset row reads; the image row cannot, and the lookup
             // still reports the asset found.
             return s.db.Catalog().LookupAsset(&record) && record.assetId == s.photo.assetId &&
                    record.keywordIds.empty() && !s.db.Catalog().ReadImage(&record, true);
         }},
        {"keywords",
         [](Scene& s) {
             AssetRecord record = s.photo;
             return !s.db.Catalog().ReadKeywordIds(&record) &&
                    record.keywordIds == s.photo.keywordIds &&
                    s.db.Catalog().LookupKeywordId("sea") == -1 &&
                    s.db.Catalog().LookupKeywordText(s.photo.keywordIds[0]).empty();
         }},
        {"folders",
         [](Scene& s) {
             return s.db.Catalog().LookupFolderId("/photos/") == -1 &&
                    s.db.Catalog().LookupFolderPath(s.photo.folderId).empty();
         }},
        {"albums",
         [](Scene& s) {
             std::vector<std::unique_ptr<AlbumInfo>> albums;
             s.db.Catalog().ListChildAlbums(0, albums);
             std::vector<AlbumRef> refs;
             s.db.Catalog().ListAlbumsOfAsset(&s.photo, false, refs);
             AlbumInfo album;
             return albums.empty() && refs.empty() && !s.db.Catalog().ReadAlbum(1, album);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dropped);
        Scene scene;
        scene.db.Exec(std::string("DROP TABLE ") + c.dropped);
        EXPECT_TRUE(c.failsCleanly(scene));
    }
}

TEST(CatalogFailure, StatementsBeforeTheFailingOneStayDone) {
    Scene scene;
    const std::string id = Id(scene.photo.assetId);
    scene.db.Exec("DROP TABLE assettokeyword");
    scene.db.Catalog().DeleteAsset(&scene.photo);
    EXPECT_EQ(scene.db.Value("SELECT COUNT(*) FROM assets WHERE id=" + id), "0");
    EXPECT_EQ(scene.db.Value("SELECT COUNT(*) FROM assettoalbum WHERE assetid=" + id), "0");
    EXPECT_EQ(scene.db.Value("SELECT COUNT(*) FROM image WHERE assetid=" + id), "1")
        << "the statement after the failing one never ran";

    Scene albums;
    const std::int32_t child = [&] {
        albums.db.Catalog().InsertAlbum("Child", "Child", "", 0, 0, albums.album);
        return std::stoi(albums.db.Value("SELECT MAX(id) FROM albums"));
    }();
    albums.db.Exec("DROP TABLE assettoalbum");
    albums.db.Catalog().DeleteAlbum(albums.album);
    EXPECT_EQ(albums.db.Value("SELECT COUNT(*) FROM albums WHERE id IN (" + Id(albums.album) + "," +
                              Id(child) + ")"),
              "0");

    Scene links;
    links.db.Exec("DROP TABLE assettokeyword");
    links.photo.title = "kept";
    EXPECT_TRUE(links.db.Catalog().SaveImage(&links.photo))
        << "the keyword links report nothing; the save goes on";
    EXPECT_EQ(links.db.Value("SELECT title FROM image WHERE assetid=" + Id(links.photo.assetId)),
              "kept");
    EXPECT_EQ(
        links.db.Value("SELECT ismetamodified FROM assets WHERE id=" + Id(links.photo.assetId)),
        "1");
}
