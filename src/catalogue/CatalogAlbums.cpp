// CCatalog: the album tree and album membership.

#include "catalogue/Catalog.h"

namespace {

unsigned AsUnsigned(std::int32_t id) {
    return static_cast<unsigned>(id);
}

bool HasAsset(const AssetRecord* object) {
    return object != nullptr && object->assetId != -1;
}

bool IsLinkableImage(const AssetRecord* object) {
    return HasAsset(object) && object->isimage;
}

// Reads the album columns shared by the child listing and the single read:
// id, title, description, displayname, ispublished, ismodified, browseable,
// auto, search, system, serverprivacy.
void ReadAlbumColumns(const CppSQLite3Query& row, AlbumInfo& album) {
    album.id = row.ColumnInt(0);
    album.description = row.ColumnText(2);
    album.name = row.ColumnText(3);
    album.published = row.ColumnInt(4);
    album.modified = row.ColumnInt(5);
    album.browseable = row.ColumnInt(6);
    album.automatic = row.ColumnInt(7);
    album.search = row.ColumnText(8);
    album.system = row.ColumnInt(9);
    album.privacy = row.ColumnInt(10);
}

} // namespace

void CCatalog::ListChildAlbums(std::int32_t parentId,
                               std::vector<std::unique_ptr<AlbumInfo>>& albums) {
    try {
        CppSQLite3Query row = m_mainDb.Query(FormatSql(
            "SELECT a.id, a.title, a.description, a.displayname, a.ispublished, a.ismodified, "
            "a.browseable, a.auto, a.search, a.system, a.serverprivacy, (SELECT COUNT(id) FROM "
            "assettoalbum AS b   LEFT JOIN assets AS c ON c.id=b.assetid   WHERE b.albumid=a.id "
            "AND a.system=0 AND   (c.isfilemodified=1 OR c.ismetamodified=1) ) AS photochanges "
            "FROM albums AS a WHERE (a.parentalbum=%d)",
            parentId));
        for (; !row.IsEnd(); row.Next()) {
            auto album = std::make_unique<AlbumInfo>();
            ReadAlbumColumns(row, *album);
            album->hasPhotoChanges = row.ColumnInt(11) > 0;
            albums.push_back(std::move(album));
        }
    } catch (const CppSQLite3Exception&) {
    }
}

bool CCatalog::ReadAlbum(std::int32_t albumId, AlbumInfo& album) {
    try {
        CppSQLite3Query row = m_mainDb.Query(FormatSql(
            "SELECT albums.id, albums.title, albums.description,albums.displayname,"
            "albums.ispublished,albums.ismodified,albums.browseable, albums.auto, albums.search, "
            "albums.system, albums.serverprivacy FROM albums WHERE (albums.id=%d)",
            albumId));
        if (row.IsEnd()) {
            return false;
        }
        ReadAlbumColumns(row, album);
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

void CCatalog::InsertAlbum(const std::string& title, const std::string& displayName,
                           const std::string& description, std::int32_t published,
                           std::int32_t privacy, std::int32_t parentId) {
    try {
        m_mainDb.Execute(FormatSql(
            "INSERT INTO albums (title, description, displayname, parentalbum,browseable, auto, "
            "system, ispublished, serverprivacy) VALUES('%s', '%s', '%s', %u,1,0,0, %i, %i)",
            EscapeSql(title).c_str(), EscapeSql(description).c_str(),
            EscapeSql(displayName).c_str(), AsUnsigned(parentId), published, privacy));
    } catch (const CppSQLite3Exception&) {
    }
}

void CCatalog::EditAlbum(std::int32_t albumId, const std::string& title,
                         const std::string& displayName, const std::string& description,
                         std::int32_t published, std::int32_t privacy) {
    try {
        m_mainDb.Execute(FormatSql("UPDATE albums SET title='%s', description='%s', "
                                   "displayname='%s', ispublished =%i, ismodified=1, "
                                   "serverprivacy=%i WHERE id=%u",
                                   EscapeSql(title).c_str(), EscapeSql(description).c_str(),
                                   EscapeSql(displayName).c_str(), published, privacy,
                                   AsUnsigned(albumId)));
    } catch (const CppSQLite3Exception&) {
    }
}

void CCatalog::SetAlbumPublished(std::int32_t albumId, bool publish) {
    try {
        m_mainDb.Execute(FormatSql("UPDATE albums SET ispublished=%d WHERE id=%u", publish ? 1 : 0,
                                   AsUnsigned(albumId)));
        if (publish) {
            m_mainDb.Execute(FormatSql("UPDATE assets SET ismetamodified=1 WHERE id IN (SELECT "
                                       "assetid FROM assettoalbum WHERE albumid=%u)",
                                       AsUnsigned(albumId)));
        }
    } catch (const CppSQLite3Exception&) {
    }
}

void CCatalog::MoveAlbum(std::int32_t albumId, std::int32_t newParentId) {
    try {
        m_mainDb.Execute(FormatSql("UPDATE albums SET parentalbum=%u WHERE id=%u",
                                   AsUnsigned(newParentId), AsUnsigned(albumId)));
    } catch (const CppSQLite3Exception&) {
    }
}

void CCatalog::DeleteAlbum(std::int32_t albumId) {
    try {
        m_mainDb.Execute(FormatSql("DELETE from albums where id=%u", AsUnsigned(albumId)));
        // One pass removes one level of orphans; repeat until a pass finds none.
        do {
            m_mainDb.Execute("DELETE FROM albums WHERE (parentalbum <> 0 AND system <> 1 AND "
                             "parentalbum NOT IN (SELECT id FROM albums))");
        } while (m_mainDb.RowsChanged() > 0);
        m_mainDb.Execute("DELETE FROM assettoalbum WHERE albumid NOT IN (SELECT id FROM albums)");
    } catch (const CppSQLite3Exception&) {
    }
}

void CCatalog::AddToAlbum(std::int32_t albumId, AssetRecord* object) {
    // Only images are ever linked; a record without an asset row has nothing to link.
    if (!IsLinkableImage(object)) {
        return;
    }
    try {
        m_mainDb.Execute(
            FormatSql("INSERT OR REPLACE INTO  assettoalbum (assetid,albumid) VALUES(%d,%d)",
                      object->assetId, albumId));
        MarkMetaModified(object->assetId);
    } catch (const CppSQLite3Exception&) {
    }
}

void CCatalog::RemoveFromAlbum(AssetRecord* object, std::int32_t albumId) {
    if (!HasAsset(object)) {
        return;
    }
    try {
        m_mainDb.Execute(FormatSql("DELETE from assettoalbum where assetid=%u AND albumid=%u",
                                   AsUnsigned(object->assetId), AsUnsigned(albumId)));
        MarkMetaModified(object->assetId);
    } catch (const CppSQLite3Exception&) {
    }
}

void CCatalog::RemoveFromAllAlbums(AssetRecord* object) {
    if (!HasAsset(object)) {
        return;
    }
    try {
        m_mainDb.Execute(
            FormatSql("DELETE from assettoalbum where assetid=%u", AsUnsigned(object->assetId)));
        MarkMetaModified(object->assetId);
    } catch (const CppSQLite3Exception&) {
    }
}

void CCatalog::ListAlbumsOfAsset(AssetRecord* object, bool published,
                                 std::vector<AlbumRef>& albums) {
    if (object == nullptr) {
        return;
    }
    try {
        CppSQLite3Query row = m_mainDb.Query(FormatSql(
            "SELECT albums.id, albums.title FROM albums,assettoalbum WHERE (assettoalbum.albumid "
            "= albums.id) AND (assettoalbum.assetid = %d) AND (albums.ispublished=%d)",
            object->assetId, published ? 1 : 0));
        for (; !row.IsEnd(); row.Next()) {
            albums.push_back(AlbumRef{row.ColumnText(1), row.ColumnInt(0)});
        }
    } catch (const CppSQLite3Exception&) {
    }
}
