#include "files/FileObjectRegistry.h"

CFileObjectRegistry::CFileObjectRegistry() : CFileObjectRegistry(catalogue::GetCatalogPath()) {}

CFileObjectRegistry::CFileObjectRegistry(const std::string& catalogPath) : m_catalog(catalogPath) {
    m_catalog.MainDb().SetBusyTimeout(kBusyTimeoutMs);
    m_catalog.OpenMain();
    m_objects.reserve(1024);
}

CFileObjectRegistry::~CFileObjectRegistry() {
    std::unordered_map<std::string, CFileObjectPtr> objects;
    {
        std::lock_guard lock(m_lock);
        objects.swap(m_objects);
        // Handles that outlive the registry (a fault elsewhere) must not reach back into it.
        for (auto& [path, handle] : objects) {
            handle->DetachFromRegistry();
        }
    }
}

CFileObjectPtr CFileObjectRegistry::GetFileObject(const std::string& path, std::int32_t folderId,
                                                  bool skipCatalog) {
    std::lock_guard lock(m_lock);
    auto found = m_objects.find(path);
    if (found != m_objects.end()) {
        return found->second;
    }
    CFileObjectPtr handle(new CFileObjectPtr::Cell(path, this));
    ++m_created;
    handle->folderId = folderId;
    m_objects.emplace(path, handle);
    if (!skipCatalog) {
        m_catalog.LookupAsset(handle.get());
        if (handle->assetId == -1) {
            m_catalog.InsertAsset(handle.get());
        }
    }
    return handle;
}

void CFileObjectRegistry::Unregister(CFileObject* object) {
    auto found = m_objects.find(object->GetFullPath());
    if (found == m_objects.end() || found->second.get() != object) {
        return;
    }
    CFileObjectPtr last = std::move(found->second);
    m_objects.erase(found);
    if (object->metaModified) {
        CCatalog catalog(m_catalog.Path());
        catalog.MainDb().SetBusyTimeout(kBusyTimeoutMs);
        if (catalog.OpenMain()) {
            catalog.SaveAssetOnRelease(object);
        }
    }
    // `last` goes here, the final handle: the object is destroyed.
}

std::string CFileObjectRegistry::NormaliseFolderPath(const std::string& path) {
    std::string normalised = path;
    while (!normalised.empty() && normalised.back() == '/') {
        normalised.pop_back();
    }
    normalised += '/';
    return normalised;
}

std::int32_t CFileObjectRegistry::FolderIdForPath(const std::string& path) {
    const std::string normalised = NormaliseFolderPath(path);
    std::lock_guard lock(m_lock);
    auto found = m_folderIds.find(normalised);
    if (found != m_folderIds.end()) {
        return found->second;
    }
    const std::int32_t id = m_catalog.LookupFolderId(normalised);
    if (id != -1) {
        m_folderIds[normalised] = id;
        m_folderPaths[id] = normalised;
    }
    return id;
}

std::string CFileObjectRegistry::FolderPathForId(std::int32_t folderId) {
    std::lock_guard lock(m_lock);
    auto found = m_folderPaths.find(folderId);
    if (found != m_folderPaths.end()) {
        return found->second;
    }
    std::string path = m_catalog.LookupFolderPath(folderId);
    if (!path.empty()) {
        m_folderPaths[folderId] = path;
        m_folderIds[path] = folderId;
    }
    return path;
}

std::int32_t CFileObjectRegistry::KeywordIdForName(const std::string& keyword) {
    std::lock_guard lock(m_lock);
    auto found = m_keywordIds.find(keyword);
    if (found != m_keywordIds.end()) {
        return found->second;
    }
    const std::int32_t id = m_catalog.LookupKeywordId(keyword);
    if (id != -1) {
        m_keywordIds[keyword] = id;
        m_keywordNames[id] = keyword;
    }
    return id;
}

std::string CFileObjectRegistry::KeywordNameForId(std::int32_t keywordId) {
    std::lock_guard lock(m_lock);
    auto found = m_keywordNames.find(keywordId);
    if (found != m_keywordNames.end()) {
        return found->second;
    }
    std::string name = m_catalog.LookupKeywordText(keywordId);
    if (!name.empty()) {
        m_keywordNames[keywordId] = name;
        m_keywordIds[name] = keywordId;
    }
    return name;
}

void CFileObjectRegistry::RekeyFileObject(const std::string& oldPath, const std::string& newPath) {
    std::lock_guard lock(m_lock);
    auto found = m_objects.find(oldPath);
    if (found == m_objects.end()) {
        return;
    }
    CFileObjectPtr handle = std::move(found->second);
    m_objects.erase(found);
    if (!newPath.empty()) {
        m_objects[newPath] = std::move(handle);
    }
    // With an empty new path `handle` is the map's handle going away here.
}

std::size_t CFileObjectRegistry::LiveObjectCount() {
    std::lock_guard lock(m_lock);
    return m_objects.size();
}

std::size_t CFileObjectRegistry::CreatedObjectCount() {
    std::lock_guard lock(m_lock);
    return m_created;
}

void CFileObjectRegistry::RekeyFolder(const std::string& oldPath, const std::string& newPath) {
    const std::string from = NormaliseFolderPath(oldPath);
    const std::string to = NormaliseFolderPath(newPath);
    std::lock_guard lock(m_lock);
    std::int32_t id = -1;
    for (auto it = m_folderIds.begin(); it != m_folderIds.end();) {
        if (it->first.compare(0, from.size(), from) != 0) {
            ++it;
            continue;
        }
        if (it->first.size() == from.size()) {
            id = it->second;
        }
        m_folderPaths.erase(it->second);
        it = m_folderIds.erase(it);
    }
    if (id != -1) {
        m_folderIds[to] = id;
        m_folderPaths[id] = to;
    }
}

std::vector<CFileObjectPtr> CFileObjectRegistry::LiveObjectsBelow(const std::string& folder) {
    const std::string prefix = NormaliseFolderPath(folder);
    std::lock_guard lock(m_lock);
    std::vector<CFileObjectPtr> below;
    for (const auto& [path, handle] : m_objects) {
        if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0) {
            below.push_back(handle);
        }
    }
    return below;
}
