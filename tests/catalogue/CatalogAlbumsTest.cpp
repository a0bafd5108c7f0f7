#include "catalogue/Catalog.h"

#include "CatalogFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

using testsupport::TemplateCatalog;

namespace {

using Rows = std::vector<std::string>;
using AlbumList = std::vector<std::unique_ptr<AlbumInfo>>;

std::string Id(std::int32_t id) {
    return std::to_string(id);
}

// Inserts a user album the way the album tree does (title as display name)
// and returns its id.
std::int32_t NewAlbum(TemplateCatalog& db, const std::string& title, std::int32_t parent,
                      std::int32_t published = 0) {
    db.Catalog().InsertAlbum(title, title, "about " + title, published, 0, parent);
    return std::stoi(db.Value("SELECT MAX(id) FROM albums"));
}

AssetRecord NewImage(TemplateCatalog& db, const std::string& name) {
    AssetRecord record;
    record.folderId = 1;
    record.fileName = name;
    record.isimage = true;
    EXPECT_TRUE(db.Catalog().InsertAsset(&record));
    return record;
}

const AlbumInfo* FindAlbum(const AlbumList& albums, std::int32_t id) {
    for (const auto& album : albums) {
        if (album->id == id) {
            return album.get();
        }
    }
    return nullptr;
}

} // namespace

TEST(CatalogAlbums, InsertedAlbumsAreListedUnderTheirParentInRowOrder) {
    TemplateCatalog db;
    db.Catalog().InsertAlbum("Bob's trip", "Bob's trip", "It's long", 1, 2, 0);
    const std::int32_t trip = std::stoi(db.Value("SELECT MAX(id) FROM albums"));
    const std::int32_t day1 = NewAlbum(db, "Day 1", trip);
    const std::int32_t day2 = NewAlbum(db, "Day 2", trip);

    AlbumList top;
    db.Catalog().ListChildAlbums(0, top);
    ASSERT_EQ(top.size(), 2u) << "Quick Find and the new album";
    EXPECT_EQ(top[0]->id, 1);
    EXPECT_EQ(top[0]->name, "Quick Find");
    EXPECT_EQ(top[0]->system, 1);
    const AlbumInfo& album = *top[1];
    EXPECT_EQ(album.id, trip);
    EXPECT_EQ(album.name, "Bob's trip");
    EXPECT_EQ(album.description, "It's long");
    EXPECT_EQ(std::tie(album.published, album.modified, album.browseable, album.automatic,
                       album.system, album.privacy),
              std::make_tuple(1, 0, 1, 0, 0, 2));
    EXPECT_EQ(album.search, "");
    EXPECT_FALSE(album.hasPhotoChanges);

    AlbumList children;
    children.push_back(std::make_unique<AlbumInfo>());
    db.Catalog().ListChildAlbums(trip, children);
    ASSERT_EQ(children.size(), 3u) << "appended after what the list held";
    EXPECT_EQ(children[1]->id, day1);
    EXPECT_EQ(children[2]->id, day2);
}

TEST(CatalogAlbums, EditMarksTheAlbumModifiedAndMoveKeepsTheMark) {
    TemplateCatalog db;
    const std::int32_t a = NewAlbum(db, "A", 0);
    const std::int32_t b = NewAlbum(db, "B", 0);
    db.Catalog().EditAlbum(a, "A'", "A shown", "changed", 1, 3);
    EXPECT_EQ(db.Column("SELECT title || '|' || displayname || '|' || description || '|' || "
                        "ispublished || '|' || ismodified || '|' || serverprivacy FROM albums "
                        "WHERE id=" +
                        Id(a)),
              Rows{"A'|A shown|changed|1|1|3"});

    db.Catalog().MoveAlbum(a, b);
    EXPECT_EQ(db.Value("SELECT parentalbum || '|' || ismodified FROM albums WHERE id=" + Id(a)),
              Id(b) + "|1");
    db.Catalog().MoveAlbum(b, 1);
    EXPECT_EQ(db.Value("SELECT parentalbum || '|' || ismodified FROM albums WHERE id=" + Id(b)),
              "1|0")
        << "a move alone marks nothing";

    AlbumInfo read;
    read.hasPhotoChanges = true;
    ASSERT_TRUE(db.Catalog().ReadAlbum(a, read));
    EXPECT_EQ(read.name, "A shown");
    EXPECT_EQ(read.modified, 1);
    EXPECT_EQ(read.privacy, 3);
    EXPECT_TRUE(read.hasPhotoChanges) << "not computed by a single read";
    AlbumInfo missing;
    EXPECT_FALSE(db.Catalog().ReadAlbum(9999, missing));
    EXPECT_EQ(missing.name, "");
}

TEST(CatalogAlbums, DeleteRemovesTheSubtreeAndItsMembershipsButNothingElse) {
    struct Case {
        const char* deleted;
        Rows left; // user albums left, by title
    };
    const Case cases[] = {
        {"Top", {"Other", "UnderSystem"}},
        {"Child", {"Top", "Other", "UnderSystem"}},
        {"Grandchild", {"Top", "Child", "Other", "UnderSystem"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.deleted);
        TemplateCatalog db;
        const std::int32_t top = NewAlbum(db, "Top", 0);
        const std::int32_t child = NewAlbum(db, "Child", top);
        const std::int32_t grandchild = NewAlbum(db, "Grandchild", child);
        const std::int32_t other = NewAlbum(db, "Other", 0);
        const std::int32_t underSystem = NewAlbum(db, "UnderSystem", 1);
        AssetRecord photo = NewImage(db, "p.jpg");
        for (std::int32_t album : {top, child, grandchild, other, underSystem, 3}) {
            db.Catalog().AddToAlbum(album, &photo);
        }
        const std::int32_t deleted = std::stoi(
            db.Value(std::string("SELECT id FROM albums WHERE title='") + c.deleted + "'"));

        db.Catalog().DeleteAlbum(deleted);
        EXPECT_EQ(db.Column("SELECT title FROM albums WHERE system=0 ORDER BY id"), c.left);
        EXPECT_EQ(db.Column("SELECT id FROM albums WHERE system=1 ORDER BY id"),
                  (Rows{"1", "2", "3", "4", "5"}));
        EXPECT_EQ(db.Value("SELECT COUNT(*) FROM assettoalbum WHERE albumid NOT IN (SELECT id "
                           "FROM albums)"),
                  "0");
        EXPECT_EQ(db.Value("SELECT COUNT(*) FROM assettoalbum"), Id(int(c.left.size()) + 1))
            << "one membership per album left, the system album's among them";
        EXPECT_EQ(db.Value("SELECT COUNT(*) FROM assets WHERE id=" + Id(photo.assetId)), "1");
        EXPECT_EQ(db.Value("SELECT COUNT(*) FROM image WHERE assetid=" + Id(photo.assetId)), "1");
    }
}

TEST(CatalogAlbums, PublishingFlagsTheMemberPhotosAndUnpublishingFlagsNone) {
    TemplateCatalog db;
    const std::int32_t album = NewAlbum(db, "Show", 0);
    AssetRecord member = NewImage(db, "member.jpg");
    AssetRecord outsider = NewImage(db, "outsider.jpg");
    db.Catalog().AddToAlbum(album, &member);
    db.Exec("UPDATE assets SET ismetamodified=0");

    db.Catalog().SetAlbumPublished(album, true);
    EXPECT_EQ(db.Value("SELECT ispublished || ismodified FROM albums WHERE id=" + Id(album)), "10")
        << "publishing flags the photos, not the album";
    EXPECT_EQ(db.Value("SELECT ismetamodified FROM assets WHERE id=" + Id(member.assetId)), "1");
    EXPECT_EQ(db.Value("SELECT ismetamodified FROM assets WHERE id=" + Id(outsider.assetId)), "0");

    db.Exec("UPDATE assets SET ismetamodified=0");
    db.Catalog().SetAlbumPublished(album, false);
    EXPECT_EQ(db.Value("SELECT ispublished FROM albums WHERE id=" + Id(album)), "0");
    EXPECT_EQ(db.Value("SELECT SUM(ismetamodified) FROM assets"), "0");
}

TEST(CatalogAlbums, MembershipChangesLinkOnlyImagesOnceAndFlagThePhoto) {
    TemplateCatalog db;
    const std::int32_t album = NewAlbum(db, "Show", 0);
    const std::int32_t second = NewAlbum(db, "Second", 0);
    AssetRecord photo = NewImage(db, "photo.jpg");
    db.Catalog().AddToAlbum(album, &photo);
    db.Catalog().AddToAlbum(album, &photo);
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM assettoalbum"), "1");
    EXPECT_EQ(db.Value("SELECT ismetamodified FROM assets WHERE id=" + Id(photo.assetId)), "1");

    AssetRecord folder;
    folder.folderId = 1;
    folder.fileName = "sub";
    folder.isfolder = true;
    AssetRecord text;
    text.folderId = 1;
    text.fileName = "notes.txt";
    AssetRecord unsaved;
    unsaved.isimage = true;
    ASSERT_TRUE(db.Catalog().InsertAsset(&folder));
    ASSERT_TRUE(db.Catalog().InsertAsset(&text));
    for (AssetRecord* ignored : {&folder, &text, &unsaved, static_cast<AssetRecord*>(nullptr)}) {
        db.Catalog().AddToAlbum(album, ignored);
    }
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM assettoalbum"), "1");
    EXPECT_EQ(db.Value("SELECT SUM(ismetamodified) FROM assets WHERE isimage=0"), "0");

    db.Catalog().AddToAlbum(second, &photo);
    db.Exec("UPDATE assets SET ismetamodified=0");
    db.Catalog().RemoveFromAlbum(&photo, album);
    EXPECT_EQ(db.Column("SELECT albumid FROM assettoalbum"), Rows{Id(second)});
    EXPECT_EQ(db.Value("SELECT ismetamodified FROM assets WHERE id=" + Id(photo.assetId)), "1");

    db.Exec("UPDATE assets SET ismetamodified=0");
    db.Catalog().RemoveFromAllAlbums(&photo);
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM assettoalbum"), "0");
    EXPECT_EQ(db.Value("SELECT ismetamodified FROM assets WHERE id=" + Id(photo.assetId)), "1");
}

TEST(CatalogAlbums, PhotoChangesMarkComesFromMemberPhotosButNeverForSystemAlbums) {
    TemplateCatalog db;
    const std::int32_t changed = NewAlbum(db, "Changed", 0);
    const std::int32_t fileChanged = NewAlbum(db, "FileChanged", 0);
    const std::int32_t clean = NewAlbum(db, "Clean", 0);
    AssetRecord a = NewImage(db, "a.jpg");
    AssetRecord b = NewImage(db, "b.jpg");
    db.Catalog().AddToAlbum(changed, &a);
    db.Catalog().AddToAlbum(fileChanged, &b);
    db.Catalog().AddToAlbum(clean, &b);
    db.Catalog().AddToAlbum(2, &a); // a system album below Quick Find
    db.Exec("UPDATE assets SET ismetamodified=0, isfilemodified=0;"
            "UPDATE assets SET ismetamodified=1 WHERE id=" +
            Id(a.assetId) + ";UPDATE assets SET isfilemodified=1 WHERE id=" + Id(b.assetId));
    db.Exec("DELETE FROM assettoalbum WHERE albumid=" + Id(clean));

    AlbumList top;
    db.Catalog().ListChildAlbums(0, top);
    ASSERT_NE(FindAlbum(top, changed), nullptr);
    EXPECT_TRUE(FindAlbum(top, changed)->hasPhotoChanges);
    EXPECT_TRUE(FindAlbum(top, fileChanged)->hasPhotoChanges);
    EXPECT_FALSE(FindAlbum(top, clean)->hasPhotoChanges);

    AlbumList system;
    db.Catalog().ListChildAlbums(1, system);
    ASSERT_NE(FindAlbum(system, 2), nullptr);
    EXPECT_FALSE(FindAlbum(system, 2)->hasPhotoChanges);
}

TEST(CatalogAlbums, AlbumsOfAPhotoAreSplitByPublication) {
    TemplateCatalog db;
    const std::int32_t shown = NewAlbum(db, "Bob's shown", 0, 1);
    const std::int32_t kept = NewAlbum(db, "Kept", 0, 0);
    const std::int32_t alsoShown = NewAlbum(db, "Also shown", 0, 1);
    AssetRecord photo = NewImage(db, "photo.jpg");
    for (std::int32_t album : {shown, kept, alsoShown}) {
        db.Catalog().AddToAlbum(album, &photo);
    }
    std::vector<AlbumRef> published{{"earlier", 77}};
    db.Catalog().ListAlbumsOfAsset(&photo, true, published);
    ASSERT_EQ(published.size(), 3u);
    EXPECT_EQ(published[0].id, 77) << "appended at the tail";
    std::vector<std::string> titles{published[1].title, published[2].title};
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (Rows{"Also shown", "Bob's shown"}));

    std::vector<AlbumRef> unpublished;
    db.Catalog().ListAlbumsOfAsset(&photo, false, unpublished);
    ASSERT_EQ(unpublished.size(), 1u);
    EXPECT_EQ(unpublished[0].title, "Kept");
    EXPECT_EQ(unpublished[0].id, kept);
}
