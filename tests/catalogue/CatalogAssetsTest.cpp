#include "catalogue/Catalog.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

using testsupport::TemplateCatalog;

namespace {

using Rows = std::vector<std::string>;

AssetRecord MakeRecord(std::int32_t folderId, const std::string& name, bool isimage,
                       bool isfolder = false) {
    AssetRecord record;
    record.folderId = folderId;
    record.fileName = name;
    record.isimage = isimage;
    record.isfolder = isfolder;
    return record;
}

std::string Id(std::int32_t id) {
    return std::to_string(id);
}

// Every image field with a value of its own, so a column written into its
// neighbour's place shows.
AssetRecord FilledImage(std::int32_t folderId, const std::string& name) {
    AssetRecord r = MakeRecord(folderId, name, true);
    r.width = 4000;
    r.height = 3000;
    r.type = 2;
    r.description = "a day's walk";
    r.title = "title";
    r.artist = "artist";
    r.copyright = "copyright";
    r.usercomment = "usercomment";
    r.equipmake = "equipmake";
    r.equipmodel = "equipmodel";
    r.orientation = "orientation";
    r.exposuretime = "exposuretime";
    r.exposurebios = "exposurebios";
    r.exposureprog = "exposureprog";
    r.fnumber = "fnumber";
    r.isospeed = "isospeed";
    r.shutterspeed = "shutterspeed";
    r.aperture = "aperture";
    r.brightness = "brightness";
    r.maxaperture = "maxaperture";
    r.meteringmode = "meteringmode";
    r.lightsource = "lightsource";
    r.flash = "flash";
    r.focallength = "focallength";
    r.makernote = "makernote";
    r.rating = 4;
    r.datetaken = "2009:03:15 14:25:01";
    return r;
}

} // namespace

TEST(CatalogAssets, InsertedAssetsAreFoundAgainByFolderAndName) {
    struct Case {
        std::int32_t folderId;
        const char* name;
        bool isimage;
        bool isfolder;
    };
    const Case cases[] = {
        {1, "plain.jpg", true, false},     {1, "Bob's party.jpg", true, false},
        {1, "''", false, false},           {2, "it's 'quoted'.png", true, false},
        {2, "Anne's folder", false, true}, {3, "notes.txt", false, false},
    };
    TemplateCatalog db;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AssetRecord fresh = MakeRecord(c.folderId, c.name, c.isimage, c.isfolder);
        EXPECT_FALSE(db.Catalog().LookupAsset(&fresh));
        EXPECT_EQ(fresh.assetId, -1);
        ASSERT_TRUE(db.Catalog().InsertAsset(&fresh));
        ASSERT_GT(fresh.assetId, 0);
        EXPECT_EQ(db.Column("SELECT filename || '|' || folderid || '|' || isimage || '|' || "
                            "isfolder FROM assets WHERE id=" +
                            Id(fresh.assetId)),
                  Rows{std::string(c.name) + "|" + Id(c.folderId) + "|" + (c.isimage ? "1" : "0") +
                       "|" + (c.isfolder ? "1" : "0")});
        EXPECT_EQ(db.Value("SELECT COUNT(*) FROM image WHERE assetid=" + Id(fresh.assetId)),
                  c.isimage ? "1" : "0")
            << "only images get an image row";

        AssetRecord again = MakeRecord(c.folderId, c.name, false);
        ASSERT_TRUE(db.Catalog().LookupAsset(&again));
        EXPECT_EQ(again.assetId, fresh.assetId);
        EXPECT_EQ(again.isimage, c.isimage);
        EXPECT_EQ(again.isfolder, c.isfolder);

        AssetRecord elsewhere = MakeRecord(c.folderId + 10, c.name, false);
        EXPECT_FALSE(db.Catalog().LookupAsset(&elsewhere)) << "the folder is part of the key";
    }
    AssetRecord noFolder = MakeRecord(-1, "plain.jpg", true);
    EXPECT_FALSE(db.Catalog().LookupAsset(&noFolder));
    EXPECT_EQ(noFolder.assetId, -1);
}

TEST(CatalogAssets, ImageRowKeepsEveryFieldInItsOwnColumn) {
    TemplateCatalog db;
    AssetRecord written = FilledImage(7, "IMG_0001.JPG");
    ASSERT_TRUE(db.Catalog().InsertAsset(&written));
    const std::string where = " FROM image WHERE assetid=" + Id(written.assetId);
    const std::pair<const char*, const char*> columns[] = {
        {"width", "4000"},
        {"height", "3000"},
        {"type", "2"},
        {"description", "a day's walk"},
        {"title", "title"},
        {"artist", "artist"},
        {"copyright", "copyright"},
        {"usercomment", "usercomment"},
        {"equipmake", "equipmake"},
        {"equipmodel", "equipmodel"},
        {"orientation", "orientation"},
        {"exposuretime", "exposuretime"},
        {"exposurebios", "exposurebios"},
        {"exposureprog", "exposureprog"},
        {"fnumber", "fnumber"},
        {"isospeed", "isospeed"},
        {"shutterspeed", "shutterspeed"},
        {"aperture", "aperture"},
        {"brightness", "brightness"},
        {"maxaperture", "maxaperture"},
        {"meteringmode", "meteringmode"},
        {"lightsource", "lightsource"},
        {"flash", "flash"},
        {"focallength", "focallength"},
        {"makernote", "makernote"},
        {"rating", "4"},
        {"datetaken", "2009:03:15 14:25:01"},
    };
    for (const auto& [column, value] : columns) {
        EXPECT_EQ(db.Value(std::string("SELECT ") + column + where), value) << column;
    }

    AssetRecord read = MakeRecord(7, "IMG_0001.JPG", false);
    ASSERT_TRUE(db.Catalog().LookupAsset(&read));
    EXPECT_EQ(read.assetId, written.assetId);
    const AssetRecord& w = written;
    EXPECT_EQ(std::tie(read.width, read.height, read.type, read.rating, read.datetaken),
              std::tie(w.width, w.height, w.type, w.rating, w.datetaken));
    EXPECT_EQ(std::tie(read.description, read.title, read.artist, read.copyright, read.usercomment,
                       read.equipmake, read.equipmodel, read.orientation, read.exposuretime,
                       read.exposurebios, read.exposureprog),
              std::tie(w.description, w.title, w.artist, w.copyright, w.usercomment, w.equipmake,
                       w.equipmodel, w.orientation, w.exposuretime, w.exposurebios,
                       w.exposureprog));
    EXPECT_EQ(std::tie(read.fnumber, read.isospeed, read.shutterspeed, read.aperture,
                       read.brightness, read.maxaperture, read.meteringmode, read.lightsource,
                       read.flash, read.focallength, read.makernote),
              std::tie(w.fnumber, w.isospeed, w.shutterspeed, w.aperture, w.brightness,
                       w.maxaperture, w.meteringmode, w.lightsource, w.flash, w.focallength,
                       w.makernote));
}

TEST(CatalogAssets, LookupReadsTheStampsAndKeywordIdsAndKeepsUnreadableStamps) {
    TemplateCatalog db;
    db.Exec("INSERT INTO assets (id, folderid, filename, isimage, timesynced, timescanned) "
            "VALUES (40, 3, 'a.jpg', 1, '2009-03-15 14:25:01', 'not a date');"
            "INSERT INTO image (assetid, title) VALUES (40, 'Harbour');"
            "INSERT INTO keywords (id, keyword) VALUES (11, 'sea'), (12, 'boat');"
            "INSERT INTO assettokeyword (keywordid, assetid) VALUES (12, 40), (11, 40), (11, 41);");
    AssetRecord record = MakeRecord(3, "a.jpg", false);
    record.timescanned = DateTime(2001, 2, 3, 4, 5, 6);
    record.keywordIds = {99};
    ASSERT_TRUE(db.Catalog().LookupAsset(&record));
    EXPECT_EQ(record.assetId, 40);
    EXPECT_EQ(record.timesynced, DateTime(2009, 3, 15, 14, 25, 1));
    EXPECT_EQ(record.timescanned, DateTime(2001, 2, 3, 4, 5, 6)) << "unparsable text: unchanged";
    EXPECT_EQ(record.title, "Harbour");
    EXPECT_EQ(record.keywordIds, (std::vector<std::int32_t>{12, 11})) << "in link row order";

    AssetRecord existsOnly = record;
    existsOnly.title = "kept";
    EXPECT_TRUE(db.Catalog().ReadImage(&existsOnly, true));
    EXPECT_EQ(existsOnly.title, "kept") << "exists-only reads nothing";
    AssetRecord noId;
    EXPECT_FALSE(db.Catalog().ReadImage(&noId, false));
    EXPECT_FALSE(db.Catalog().ReadKeywordIds(&noId));
}

TEST(CatalogAssets, SaveImageInsertsAMissingRowOrUpdatesAndFlagsAnExistingOne) {
    struct Case {
        const char* what;
        bool rowPresent;
        bool fileModified;
        const char* metaFlag;
        const char* fileFlag;
    };
    const Case cases[] = {
        {"missing row", false, false, "0", "0"},
        {"missing row of a changed file", false, true, "0", "0"},
        {"existing row", true, false, "1", "0"},
        {"existing row of a changed file", true, true, "1", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TemplateCatalog db;
        db.Exec("INSERT INTO keywords (id, keyword) VALUES (5, 'x'), (6, 'y')");
        AssetRecord record = FilledImage(2, "Bob's.jpg");
        ASSERT_TRUE(db.Catalog().InsertAsset(&record));
        const std::string id = Id(record.assetId);
        db.Exec("INSERT INTO assettokeyword (keywordid, assetid) VALUES (5, " + id + ")");
        if (!c.rowPresent) {
            db.Exec("DELETE FROM image WHERE assetid=" + id);
        }
        record.title = "It's new";
        record.rating = 2;
        record.keywordIds = {6};
        record.fileModified = c.fileModified;

        EXPECT_TRUE(db.Catalog().SaveImage(&record));
        EXPECT_EQ(db.Column("SELECT title || '|' || rating || '|' || width FROM image WHERE "
                            "assetid=" +
                            id),
                  Rows{"It's new|2|4000"});
        EXPECT_EQ(db.Column("SELECT keywordid FROM assettokeyword WHERE assetid=" + id), Rows{"6"});
        EXPECT_EQ(db.Value("SELECT ismetamodified FROM assets WHERE id=" + id), c.metaFlag);
        EXPECT_EQ(db.Value("SELECT isfilemodified FROM assets WHERE id=" + id), c.fileFlag);
    }
}

TEST(CatalogAssets, SaveImageOfAMissingRowWritesTheLinksBeforeTheRow) {
    TemplateCatalog db;
    AssetRecord record = MakeRecord(2, "a.jpg", true);
    ASSERT_TRUE(db.Catalog().InsertAsset(&record));
    // Without the image table the row cannot be inserted; the links written
    // before the insert stay.
    db.Exec("DROP TABLE image");
    record.keywordIds = {3, 4};
    EXPECT_FALSE(db.Catalog().SaveImage(&record));
    EXPECT_EQ(db.Column("SELECT keywordid FROM assettokeyword WHERE assetid=" + Id(record.assetId) +
                        " ORDER BY keywordid"),
              (Rows{"3", "4"}));
}

TEST(CatalogAssets, SaveAssetWritesTheAssetRowAndTheImageOfAnImage) {
    TemplateCatalog db;
    AssetRecord image = MakeRecord(2, "old.jpg", true);
    AssetRecord folder = MakeRecord(2, "sub", false, true);
    ASSERT_TRUE(db.Catalog().InsertAsset(&image));
    ASSERT_TRUE(db.Catalog().InsertAsset(&folder));

    image.fileName = "Bob's new.jpg";
    image.folderId = 9;
    image.timescanned = DateTime(2009, 3, 15, 14, 25, 1);
    image.title = "renamed";
    EXPECT_TRUE(db.Catalog().SaveAsset(&image));
    EXPECT_EQ(db.Column("SELECT filename || '|' || folderid || '|' || timesynced || '|' || "
                        "timescanned || '|' || ismetamodified FROM assets WHERE id=" +
                        Id(image.assetId)),
              Rows{"Bob's new.jpg|9||2009-03-15 14:25:01|1"})
        << "a null stamp is written as the empty string";
    EXPECT_EQ(db.Value("SELECT title FROM image WHERE assetid=" + Id(image.assetId)), "renamed");

    folder.timesynced = DateTime(2010, 1, 2, 3, 4, 5);
    EXPECT_TRUE(db.Catalog().SaveAsset(&folder));
    EXPECT_EQ(db.Value("SELECT timesynced FROM assets WHERE id=" + Id(folder.assetId)),
              "2010-01-02 03:04:05");
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM image WHERE assetid=" + Id(folder.assetId)), "0");
    EXPECT_EQ(db.Value("SELECT ismetamodified FROM assets WHERE id=" + Id(folder.assetId)), "0");

    EXPECT_FALSE(db.Catalog().SaveAsset(nullptr));
}

TEST(CatalogAssets, NothingIsWrittenForARecordThatNeverReachedTheCatalogue) {
    TemplateCatalog db;
    AssetRecord unknown = MakeRecord(2, "a.jpg", true);
    unknown.keywordIds = {1};
    EXPECT_FALSE(db.Catalog().SaveAsset(&unknown));
    EXPECT_FALSE(db.Catalog().SaveImage(&unknown));
    EXPECT_FALSE(db.Catalog().SaveAssetOnRelease(&unknown));
    EXPECT_FALSE(db.Catalog().InsertImage(&unknown));
    db.Catalog().WriteKeywordLinks(&unknown);
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM image"), "0");
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM assettokeyword"), "0");
}

TEST(CatalogAssets, SaveOnReleaseWritesAndFlagsTheImageAndRestoresAMissingRow) {
    TemplateCatalog db;
    AssetRecord record = FilledImage(2, "a.jpg");
    ASSERT_TRUE(db.Catalog().InsertAsset(&record));
    const std::string id = Id(record.assetId);
    record.title = "first";
    record.keywordIds = {8};
    record.fileModified = true;
    EXPECT_TRUE(db.Catalog().SaveAssetOnRelease(&record));
    EXPECT_EQ(db.Column("SELECT title FROM image WHERE assetid=" + id), Rows{"first"});
    EXPECT_EQ(db.Column("SELECT keywordid FROM assettokeyword WHERE assetid=" + id), Rows{"8"});
    EXPECT_EQ(db.Value("SELECT ismetamodified || isfilemodified FROM assets WHERE id=" + id), "11");

    db.Exec("DELETE FROM image WHERE assetid=" + id);
    record.title = "second";
    EXPECT_TRUE(db.Catalog().SaveAssetOnRelease(&record));
    EXPECT_EQ(db.Column("SELECT title FROM image WHERE assetid=" + id), Rows{"second"})
        << "changed metadata is not dropped when the row went missing";

    AssetRecord folder = MakeRecord(2, "sub", false, true);
    ASSERT_TRUE(db.Catalog().InsertAsset(&folder));
    folder.fileName = "Bob's sub";
    EXPECT_TRUE(db.Catalog().SaveAssetOnRelease(&folder));
    EXPECT_EQ(db.Column("SELECT filename || '|' || ismetamodified FROM assets WHERE id=" +
                        Id(folder.assetId)),
              Rows{"Bob's sub|0"});
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM image WHERE assetid=" + Id(folder.assetId)), "0");
}

TEST(CatalogAssets, DeleteAssetRemovesItsRowsButKeepsFolderAndKeywords) {
    TemplateCatalog db;
    const std::int32_t folderId = db.Catalog().LookupFolderId("/photos/");
    AssetRecord gone = MakeRecord(folderId, "gone.jpg", true);
    AssetRecord kept = MakeRecord(folderId, "kept.jpg", true);
    ASSERT_TRUE(db.Catalog().InsertAsset(&gone));
    ASSERT_TRUE(db.Catalog().InsertAsset(&kept));
    const std::int32_t keywordId = db.Catalog().LookupKeywordId("sea");
    for (AssetRecord* record : {&gone, &kept}) {
        record->keywordIds = {keywordId};
        db.Catalog().WriteKeywordLinks(record);
        db.Catalog().AddToAlbum(1, record);
    }

    db.Catalog().DeleteAsset(&gone);
    const std::string g = Id(gone.assetId);
    for (const char* table : {"assets WHERE id=", "image WHERE assetid=",
                              "assettoalbum WHERE assetid=", "assettokeyword WHERE assetid="}) {
        EXPECT_EQ(db.Value(std::string("SELECT COUNT(*) FROM ") + table + g), "0") << table;
        EXPECT_EQ(db.Value(std::string("SELECT COUNT(*) FROM ") + table + Id(kept.assetId)), "1")
            << table;
    }
    EXPECT_EQ(db.Column("SELECT path FROM folders"), Rows{"/photos/"});
    EXPECT_EQ(db.Column("SELECT keyword FROM keywords"), Rows{"sea"});
}

TEST(CatalogFolders, LookupFindsOrInsertsAndLetterCaseMakesANewRow) {
    TemplateCatalog db;
    CCatalog& catalog = db.Catalog();
    const std::int32_t id = catalog.LookupFolderId("/home/anne/Bob's photos/");
    ASSERT_GT(id, 0);
    EXPECT_EQ(catalog.LookupFolderId("/home/anne/Bob's photos/"), id);
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM folders"), "1");

    const std::int32_t otherCase = catalog.LookupFolderId("/home/anne/BOB'S PHOTOS/");
    EXPECT_GT(otherCase, 0);
    EXPECT_NE(otherCase, id) << "the comparison is exact";
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM folders"), "2");

    EXPECT_EQ(catalog.LookupFolderPath(id), "/home/anne/Bob's photos/");
    EXPECT_EQ(catalog.LookupFolderPath(12345), "");
    catalog.UpdateFolderPath(id, "/home/anne/It's moved/");
    EXPECT_EQ(catalog.LookupFolderPath(id), "/home/anne/It's moved/");
    EXPECT_EQ(catalog.LookupFolderId("/home/anne/It's moved/"), id);

    const std::int32_t inserted = catalog.InsertFolder("/x/");
    EXPECT_EQ(db.Value("SELECT path FROM folders WHERE id=" + Id(inserted)), "/x/");
}
