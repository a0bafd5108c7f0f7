#include "files/FolderIndexer.h"

#include "catalogue/Catalog.h"
#include "files/CachePaths.h"
#include "files/FileObjectRegistry.h"
#include "files/FileSystemEntry.h"
#include "files/ScanExclusions.h"
#include "files/ThumbnailCache.h"
#include "imaging/PictureExtensions.h"

#include <sys/stat.h>

namespace {

bool IsSymbolicLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

unsigned long DeviceOf(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? static_cast<unsigned long>(st.st_dev) : 0;
}

} // namespace

bool LoadPictureThumbnail(CFileObject& object) {
    // Only files named as pictures (or known as images) are decoded: a scan
    // must not read every video, archive and document on the disk.
    if (!object.isimage && !imaging::IsPictureExtension(object.fileName)) {
        return false;
    }
    LoadThumbnail(object, files::GetThumbnailDir());
    return true;
}

ThumbnailOutcome MakeThumbnailAndSave(CFileObject& object, CCatalog& catalog) {
    if (!LoadPictureThumbnail(object)) {
        return ThumbnailOutcome::NotAPicture;
    }
    return SaveThumbnailChanges(object, catalog);
}

ThumbnailOutcome SaveThumbnailChanges(CFileObject& object, CCatalog& catalog) {
    const bool made = object.metaModified;
    if (made) {
        catalog.SaveAsset(&object);
        object.metaModified = false;
        object.fileModified = false;
    }
    if (!object.isimage) {
        return ThumbnailOutcome::Failed;
    }
    return made ? ThumbnailOutcome::Made : ThumbnailOutcome::FromCache;
}

CFolderIndexer::CFolderIndexer(CFileObjectRegistry& registry, CCatalog& catalog,
                               std::vector<std::string> exclusions, IndexEvents events)
    : m_registry(registry), m_catalog(catalog), m_exclusions(std::move(exclusions)),
      m_events(std::move(events)) {}

bool CFolderIndexer::Enters(const std::string& path, bool isHidden, unsigned long device) const {
    return !isHidden && !IsSymbolicLink(path) && DeviceOf(path) == device &&
           !IsExcludedFromScan(m_exclusions, path);
}

bool CFolderIndexer::IndexFolder(const std::string& root) {
    m_device = DeviceOf(root);
    return Walk(root, m_registry.FolderIdForPath(root));
}

bool CFolderIndexer::Walk(const std::string& folder, std::int32_t folderId) {
    bool ended = false;
    EnumerateFolder(folder, [&](const std::string& name) {
        if (m_events.shouldStop && m_events.shouldStop()) {
            ended = true;
            return false;
        }
        const std::string path = ChildPath(folder, name);
        FileSystemFacts facts;
        if (!ReadFileSystemFacts(path, facts)) {
            return true; // gone meanwhile
        }
        CFileObjectPtr object = m_registry.GetFileObject(path, folderId);
        ApplyFileSystemFacts(*object, name, facts);
        if (facts.isFolder) {
            if (Enters(path, facts.isHidden, m_device)) {
                if (m_events.enteringFolder) {
                    m_events.enteringFolder(path);
                }
                if (!Walk(path, m_registry.FolderIdForPath(path))) {
                    ended = true;
                    return false;
                }
            }
            return true;
        }
        if (object->assetId == -1) {
            return true;
        }
        const ThumbnailOutcome outcome = MakeThumbnailAndSave(*object, m_catalog);
        if (m_events.recorded && !m_events.recorded(object, outcome)) {
            ended = true;
            return false;
        }
        return true;
    });
    return !ended;
}

std::size_t CFolderIndexer::CountFiles(const std::string& root) const {
    std::size_t count = 0;
    const unsigned long device = DeviceOf(root);
    std::vector<std::string> pending{root};
    while (!pending.empty()) {
        const std::string folder = std::move(pending.back());
        pending.pop_back();
        EnumerateFolder(folder, [&](const std::string& name) {
            const std::string path = ChildPath(folder, name);
            FileSystemFacts facts;
            if (!ReadFileSystemFacts(path, facts)) {
                return true;
            }
            if (!facts.isFolder) {
                ++count;
            } else if (Enters(path, facts.isHidden, device)) {
                pending.push_back(path);
            }
            return true;
        });
    }
    return count;
}
