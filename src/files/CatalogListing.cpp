// The catalogue's listings that turn asset rows into file objects: search
// results, system-album members and album members. Members of CCatalog that
// need the file-object registry, so they are built with the file objects.

#include "catalogue/Catalog.h"
#include "files/FileObjectRegistry.h"

#include <sys/stat.h>

namespace {

constexpr size_t kBatch = 500;

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

} // namespace

// The columns folderid, filename, id, timesynced, timescanned, isimage, isfolder.
struct CCatalog::ListedAsset {
    std::int32_t folderId;
    std::string fileName;
    std::int32_t id;
    std::string timesynced;
    std::string timescanned;
    bool isimage;
    bool isfolder;

    static ListedAsset From(const CppSQLite3Query& row) {
        return {row.ColumnInt(0),  row.ColumnText(1),     row.ColumnInt(2),     row.ColumnText(3),
                row.ColumnText(4), row.ColumnInt(5) != 0, row.ColumnInt(6) != 0};
    }
};

void CCatalog::ListAssets(const std::vector<ListedAsset>& rows, CFileObjectTable& table) {
    for (size_t first = 0; first < rows.size(); first += kBatch) {
        std::vector<CFileObjectPtr> listed;
        std::vector<AssetRecord*> images;
        for (size_t i = first; i < std::min(rows.size(), first + kBatch); ++i) {
            const ListedAsset& row = rows[i];
            const std::string path = m_registry->FolderPathForId(row.folderId) + row.fileName;
            CFileObjectPtr object = m_registry->GetFileObject(path, row.folderId, true);
            object->assetId = row.id;
            object->isfolder = row.isfolder;
            if (!FileExists(path)) {
                // Gone from disk: it leaves the catalogue and every album.
                DeleteAssetRows(object->assetId);
                continue;
            }
            object->timesynced.ParseDateTime(row.timesynced);
            object->timescanned.ParseDateTime(row.timescanned);
            object->isimage = row.isimage;
            if (object->isimage) {
                images.push_back(object.get());
            }
            listed.push_back(std::move(object));
        }
        ReadImages(images);
        for (const CFileObjectPtr& object : listed) {
            table.Add(object);
        }
    }
}

void CCatalog::ListSearchResults(CFileObjectTable& table) {
    if (m_registry == nullptr) {
        return;
    }
    try {
        // The rows of the result set, a batch of ids per statement.
        std::vector<ListedAsset> rows;
        std::string ids;
        size_t inBatch = 0;
        auto flush = [&] {
            CppSQLite3Query query = m_mainDb.Query(
                "SELECT folderid, filename,id,timesynced,timescanned,isimage,isfolder FROM "
                "assets WHERE id IN (" +
                ids + ")");
            for (; !query.IsEnd(); query.Next()) {
                rows.push_back(ListedAsset::From(query));
            }
            ids.clear();
            inBatch = 0;
        };
        for (const auto& [id, ignored] : m_searchResults) {
            if (!ids.empty()) {
                ids += ',';
            }
            ids += std::to_string(static_cast<std::int32_t>(id));
            if (++inBatch == kBatch) {
                flush();
            }
        }
        if (inBatch > 0) {
            flush();
        }
        ListAssets(rows, table);
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
        std::vector<ListedAsset> rows;
        {
            CppSQLite3Query query = m_mainDb.Query(FormatSql(
                "SELECT assets.folderid, assets.filename,assets.id,assets.timesynced,"
                "assets.timescanned,assets.isimage,assets.isfolder FROM assets,assettoalbum WHERE "
                "(assettoalbum.assetid = assets.id) AND (assettoalbum.albumid = %d)",
                albumId));
            for (; !query.IsEnd(); query.Next()) {
                rows.push_back(ListedAsset::From(query));
            }
        }
        ListAssets(rows, table);
    } catch (const CppSQLite3Exception&) {
    }
}
