#pragma once

// Hands out the file objects: while any handle exists there is exactly one
// CFileObject per full path. Caches folder ids and keyword ids in both
// directions, and holds the user-interface thread's catalogue object. Any
// thread may call it; one re-entrant lock guards the maps and the catalogue
// work done under them. Lives as long as the main window; every handle and
// job must be gone before it is destroyed.

#include "catalogue/Catalog.h"
#include "files/FileObject.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class CFileObjectRegistry {
public:
    CFileObjectRegistry();
    explicit CFileObjectRegistry(const std::string& catalogPath);
    CFileObjectRegistry(const CFileObjectRegistry&) = delete;
    CFileObjectRegistry& operator=(const CFileObjectRegistry&) = delete;
    // Drops every entry without saving.
    ~CFileObjectRegistry();

    // The object for `path`: the live one, or a new one read from (or, when
    // missing, added to) the catalogue unless skipCatalog is set.
    CFileObjectPtr GetFileObject(const std::string& path, std::int32_t folderId,
                                 bool skipCatalog = false);

    // Folder paths are kept with exactly one trailing '/' and in their own case.
    std::int32_t FolderIdForPath(const std::string& path);
    std::string FolderPathForId(std::int32_t folderId);
    std::int32_t KeywordIdForName(const std::string& keyword);
    std::string KeywordNameForId(std::int32_t keywordId);

    // After a rename or move: the object is filed under the new path, or no
    // longer registered (and so not saved on its last release) when it is empty.
    void RekeyFileObject(const std::string& oldPath, const std::string& newPath);

    // After a folder moved: the cached folder keeps its id under the new
    // path; cached folders below the old path are forgotten (the catalogue
    // answers for them again).
    void RekeyFolder(const std::string& oldPath, const std::string& newPath);
    // The live objects whose full path lies below `folder`.
    std::vector<CFileObjectPtr> LiveObjectsBelow(const std::string& folder);

    static std::string NormaliseFolderPath(const std::string& path);

    CCatalog& Catalog() { return m_catalog; }
    std::recursive_mutex& Lock() { return m_lock; }
    std::size_t LiveObjectCount();
    // How many objects were made since the registry was created.
    std::size_t CreatedObjectCount();

private:
    friend class CFileObjectPtr;
    // Called under the lock when only the map's handle is left.
    void Unregister(CFileObject* object);

    std::recursive_mutex m_lock;
    std::unordered_map<std::string, CFileObjectPtr> m_objects;
    std::unordered_map<std::string, std::int32_t> m_folderIds;
    std::unordered_map<std::int32_t, std::string> m_folderPaths;
    std::unordered_map<std::string, std::int32_t> m_keywordIds;
    std::unordered_map<std::int32_t, std::string> m_keywordNames;
    CCatalog m_catalog;
    std::size_t m_created = 0;
};
