// The catalogue's listings that turn asset rows into file objects: search
// results, system-album members and album members. Members of CCatalog that
// need the file-object registry, so they are built with the file objects.

#include "catalogue/Catalog.h"
#include "files/FileObjectRegistry.h"

#include <sys/stat.h>

namespace {

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

bool CCatalog::ListRow(const CppSQLite3Query& row, CFileObjectTable& table) {
    const std::int32_t folderId = row.ColumnInt(0);
    const std::string path = m_registry->FolderPathForId(folderId) + row.ColumnText(1);
    CFileObjectPtr object = m_registry->GetFileObject(path, folderId, true);
    object->assetId = row.ColumnInt(2);
    object->isfolder = row.ColumnInt(6) != 0;
    if (!FileExists(path)) {
        // Gone from disk: it leaves the catalogue and every album.
        DeleteAssetRows(object->assetId);
        return false;
    }
    object->timesynced.ParseDateTime(row.ColumnText(3));
    object->timescanned.ParseDateTime(row.ColumnText(4));
    object->isimage = row.ColumnInt(5) != 0;
    if (object->isimage) {
        ReadImage(object.get(), false);
    }
    table.Add(object);
    return true;
}

void CCatalog::ListSearchResults(CFileObjectTable& table) {
    if (m_registry == nullptr) {
        return;
    }
    try {
        for (const auto& [id, ignored] : m_searchResults) {
            CppSQLite3Query row = m_mainDb.Query(
                FormatSql("SELECT folderid, filename,id,timesynced,timescanned,isimage,isfolder "
                          "FROM assets WHERE id = %d",
                          static_cast<int>(id)));
            if (!row.IsEnd()) {
                ListRow(row, table);
            }
        }
    } catch (const CppSQLite3Exception&) {
        // The listing ends with the objects added so far.
    }
}

void CCatalog::QuickSearch(const std::string& text, CFileObjectTable& table) {
    RunSearchTerms(text);
    ListSearchResults(table);
}

void CCatalog::RunIdQuery(const std::string& statement, CFileObjectTable& table) {
    RunIdStatement(statement);
    ListSearchResults(table);
}

void CCatalog::ListAlbumAssets(std::int32_t albumId, CFileObjectTable& table) {
    if (m_registry == nullptr) {
        return;
    }
    try {
        CppSQLite3Query rows = m_mainDb.Query(FormatSql(
            "SELECT assets.folderid, assets.filename,assets.id,assets.timesynced,"
            "assets.timescanned,assets.isimage,assets.isfolder FROM assets,assettoalbum WHERE "
            "(assettoalbum.assetid = assets.id) AND (assettoalbum.albumid = %d)",
            albumId));
        for (; !rows.IsEnd(); rows.Next()) {
            ListRow(rows, table);
        }
    } catch (const CppSQLite3Exception&) {
    }
}
