#pragma once

// The catalogue object: one per thread that uses the catalogue, never
// shared. It holds two connections to the catalogue file: the search
// connection (opened by the constructor, quick-search statements, no
// synchronous flushes) and the main connection (opened by OpenMain, every
// other operation). Each operation catches the layer's exception itself,
// stops at the failing statement and returns its failure value.

#include "catalogue/AlbumInfo.h"
#include "catalogue/AssetRecord.h"
#include "catalogue/CppSQLite3.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class CFileObjectRegistry;
class CFileObjectPtr;
template <class T, class ARG> class Table;

namespace catalogue {

// The path every catalogue object opens unless told otherwise; start-up
// sets it once before any other thread exists.
void SetCatalogPath(const std::string& path);
std::string GetCatalogPath();

} // namespace catalogue

class CCatalog {
public:
    CCatalog();
    explicit CCatalog(const std::string& path);
    CCatalog(const CCatalog&) = delete;
    CCatalog& operator=(const CCatalog&) = delete;
    ~CCatalog();

    bool OpenMain();

    // Brings a catalogue at schema version 0 or 1 to version 2. True when the
    // version row was written. A failing step is shown in a message box.
    bool UpgradeSchema();

    // ---- Assets, folders and image metadata (CatalogAssets.cpp) ----
    // "object" is the file object's catalogue record; a null object makes
    // every operation return its failure value without a statement, and so
    // does a record without an asset id (-1) for every operation that would
    // write rows under that id.

    // Finds the asset by (folder id, file name) and reads its row, its image
    // row and keyword ids. False when the folder id is -1, no row matches, or
    // on error.
    bool LookupAsset(AssetRecord* object);
    // Inserts the asset (and the image row of an image); sets the asset id.
    bool InsertAsset(AssetRecord* object);
    bool SaveAsset(AssetRecord* object);
    // The registry's save when the last holder lets go of a changed object.
    bool SaveAssetOnRelease(AssetRecord* object);
    // True when the image row exists and, unless existsOnly, was read.
    bool ReadImage(AssetRecord* object, bool existsOnly);
    bool InsertImage(AssetRecord* object);
    // The insert's result when the image row was missing; true after an update.
    bool SaveImage(AssetRecord* object);
    bool ReadKeywordIds(AssetRecord* object);
    // ReadImage (not exists-only) for many images at once, a few statements
    // per batch of them instead of two per image: what the listings of
    // thousands of search hits or album members use.
    bool ReadImages(const std::vector<AssetRecord*>& objects);
    void WriteKeywordLinks(AssetRecord* object);
    // Removes the asset, its album and keyword links and its image row; the
    // folder and the keywords stay.
    void DeleteAsset(AssetRecord* object);

    // Empty when unknown or on error.
    std::string LookupFolderPath(std::int32_t folderId);
    // The folder's id, inserting a row for an unknown path; -1 on error.
    std::int32_t LookupFolderId(const std::string& path);
    // The new folder's id; -1 on error.
    std::int32_t InsertFolder(const std::string& path);
    void UpdateFolderPath(std::int32_t folderId, const std::string& path);
    // After a folder moved: every folder row below it (paths starting with
    // oldPrefix, which ends in '/') gets newPrefix in its place.
    void RepathFoldersBelow(const std::string& oldPrefix, const std::string& newPrefix);

    // ---- Albums (CatalogAlbums.cpp) ----

    // Appends one record per child of the parent (0: the top level), in row order.
    void ListChildAlbums(std::int32_t parentId, std::vector<std::unique_ptr<AlbumInfo>>& albums);
    // Fills the record from the album's row; hasPhotoChanges keeps its value.
    // True when the row was found and read.
    bool ReadAlbum(std::int32_t albumId, AlbumInfo& album);
    void InsertAlbum(const std::string& title, const std::string& displayName,
                     const std::string& description, std::int32_t published, std::int32_t privacy,
                     std::int32_t parentId);
    // Every edit marks the album modified.
    void EditAlbum(std::int32_t albumId, const std::string& title, const std::string& displayName,
                   const std::string& description, std::int32_t published, std::int32_t privacy);
    // Publishing flags every member photo; unpublishing flags none.
    void SetAlbumPublished(std::int32_t albumId, bool publish);
    void MoveAlbum(std::int32_t albumId, std::int32_t newParentId);
    // Removes the album, every descendant (system albums excepted) and their
    // memberships; the photos stay.
    void DeleteAlbum(std::int32_t albumId);
    // Only images are linked; anything else is ignored.
    void AddToAlbum(std::int32_t albumId, AssetRecord* object);
    void RemoveFromAlbum(AssetRecord* object, std::int32_t albumId);
    void RemoveFromAllAlbums(AssetRecord* object);
    // Appends the asset's albums whose publication state is `published`.
    void ListAlbumsOfAsset(AssetRecord* object, bool published, std::vector<AlbumRef>& albums);

    // ---- Keywords (CatalogKeywords.cpp) ----

    // The id of the keyword spelt exactly so (letter case counts), inserting
    // it when new; -1 on error.
    std::int32_t LookupKeywordId(const std::string& keyword);
    // Empty when unknown or on error.
    std::string LookupKeywordText(std::int32_t keywordId);
    // The new keyword's id; -1 on error.
    std::int32_t InsertKeyword(const std::string& keyword);

    // ---- Quick search (CatalogSearch.cpp) ----
    // The term statements run on the search connection and add the ids they
    // find to the result set; a failing statement adds nothing.

    void TagSearch(const std::string& term);
    void FileNameSearch(const std::string& term);
    void MetadataSearch(const std::string& term);
    void RatingSearch(int stars, char op);
    void FreeTextSearch(const std::string& term);
    // Empties the result set and runs every term of the search text.
    void RunSearchTerms(const std::string& text);
    // Empties the result set and adds column 0 of every row of the statement.
    void RunIdStatement(const std::string& statement);
    const std::unordered_map<std::uint32_t, std::uint32_t>& SearchResults() const {
        return m_searchResults;
    }

    // ---- Listings into file objects ----
    // These need the registry pointer and live with the file objects, in the
    // files library (CatalogListing.cpp there); a member whose file is gone
    // from disk leaves the catalogue and is not listed.

    void QuickSearch(const std::string& text, Table<CFileObjectPtr, CFileObjectPtr>& table);
    void RunIdQuery(const std::string& statement, Table<CFileObjectPtr, CFileObjectPtr>& table);
    void ListSearchResults(Table<CFileObjectPtr, CFileObjectPtr>& table);
    void ListAlbumAssets(std::int32_t albumId, Table<CFileObjectPtr, CFileObjectPtr>& table);

    // ---- Read-only look-ups (CatalogQueries.cpp) ----

    // The folder's id, or -1 when it has no row (nothing is inserted).
    std::int32_t FindFolderId(const std::string& path);
    // The asset's two synchronisation marks; false when it has no row.
    bool ReadAssetMarks(std::int32_t assetId, bool& metaModified, bool& fileModified);
    // Members by the album's kind (statement, search text or links); -1 on error.
    int CountAlbumMembers(const AlbumInfo& album);
    // The highest version row (0 with none), -1 when the table cannot be read.
    int SchemaVersion();
    // The highest asset id (0 when empty), -1 on error.
    std::int32_t MaxAssetId();

    const std::string& Path() const { return m_path; }
    CppSQLite3DB& MainDb() { return m_mainDb; }
    CppSQLite3DB& SearchDb() { return m_searchDb; }

    void SetRegistry(CFileObjectRegistry* registry) { m_registry = registry; }
    CFileObjectRegistry* Registry() const { return m_registry; }

private:
    void UpdateImageRow(const AssetRecord& object);
    void UpdateAssetRow(const AssetRecord& object);
    void MarkMetaModified(std::int32_t assetId);
    void MarkSavedImage(const AssetRecord& object);
    void DeleteAssetRows(std::int32_t assetId);
    void AddSearchResults(const std::string& statement);
    struct ListedAsset;
    // Turns asset rows into listed objects; the ones whose files are gone
    // leave the catalogue instead.
    void ListAssets(const std::vector<ListedAsset>& rows,
                    Table<CFileObjectPtr, CFileObjectPtr>& table);

    std::string m_path;
    CppSQLite3DB m_searchDb;
    std::unordered_map<std::uint32_t, std::uint32_t> m_searchResults;
    std::vector<std::string> m_searchPrefixes;
    CppSQLite3DB m_mainDb;
    CFileObjectRegistry* m_registry = nullptr;
};
