// Read-only look-ups for tools that inspect the catalogue without changing
// it (the command-line companion).

#include "catalogue/Catalog.h"

std::int32_t CCatalog::FindFolderId(const std::string& path) {
    try {
        CppSQLite3Query row = m_mainDb.Query(FormatSql(
            "SELECT folders.id FROM folders WHERE (folders.path = '%s')", EscapeSql(path).c_str()));
        return row.IsEnd() ? -1 : row.ColumnInt(0);
    } catch (const CppSQLite3Exception&) {
        return -1;
    }
}

bool CCatalog::ReadAssetMarks(std::int32_t assetId, bool& metaModified, bool& fileModified) {
    try {
        CppSQLite3Query row = m_mainDb.Query(
            FormatSql("SELECT ismetamodified, isfilemodified FROM assets WHERE id=%d", assetId));
        if (row.IsEnd()) {
            return false;
        }
        metaModified = row.ColumnInt(0) != 0;
        fileModified = row.ColumnInt(1) != 0;
        return true;
    } catch (const CppSQLite3Exception&) {
        return false;
    }
}

int CCatalog::CountAlbumMembers(const AlbumInfo& album) {
    try {
        if (album.system != 0) {
            RunIdStatement(album.search);
            return static_cast<int>(m_searchResults.size());
        }
        if (album.automatic != 0) {
            RunSearchTerms(album.search);
            return static_cast<int>(m_searchResults.size());
        }
        CppSQLite3Query row = m_mainDb.Query(
            FormatSql("SELECT COUNT(*) FROM assettoalbum WHERE albumid=%d", album.id));
        return row.IsEnd() ? 0 : row.ColumnInt(0);
    } catch (const CppSQLite3Exception&) {
        return -1;
    }
}

int CCatalog::SchemaVersion() {
    try {
        CppSQLite3Query row = m_mainDb.Query("SELECT MAX(a.version) FROM version AS a;");
        return row.IsEnd() ? 0 : row.ColumnInt(0);
    } catch (const CppSQLite3Exception&) {
        return -1;
    }
}

std::int32_t CCatalog::MaxAssetId() {
    try {
        CppSQLite3Query row = m_mainDb.Query("SELECT MAX(id) FROM assets");
        return row.IsEnd() ? 0 : row.ColumnInt(0);
    } catch (const CppSQLite3Exception&) {
        return -1;
    }
}
