#pragma once

// Records every file below a folder in the catalogue with its thumbnail and
// metadata: the walk of the computer scan, shared by the scan job and the
// command-line indexer. Depth first in enumeration order; hidden folders,
// linked folders, other mounts and the excluded folders are recorded but not
// entered. Used by one worker thread at a time.

#include "files/FileObject.h"

#include <functional>
#include <string>
#include <vector>

class CCatalog;
class CFileObjectRegistry;

enum class ThumbnailOutcome {
    NotAPicture, // not named as a picture: not decoded
    FromCache,   // the cached thumbnail was still good
    Made,        // read from the file: thumbnail and metadata made and saved
    Failed,      // named as a picture but it does not decode
};

// The thumbnail and metadata of one recorded entry, saved when they changed.
ThumbnailOutcome MakeThumbnailAndSave(CFileObject& object, CCatalog& catalog);

// The two halves of it, for callers that load on several threads and save
// on one: the load (false when the file is not named as a picture) and the
// save of what the load changed.
bool LoadPictureThumbnail(CFileObject& object);
ThumbnailOutcome SaveThumbnailChanges(CFileObject& object, CCatalog& catalog);

struct IndexEvents {
    // Asked before each entry; true ends the walk.
    std::function<bool()> shouldStop;
    // A folder is about to be entered.
    std::function<void(const std::string& folder)> enteringFolder;
    // A file was recorded (and, when it is a picture, thumbnailed). False ends the walk.
    std::function<bool(const CFileObjectPtr& object, ThumbnailOutcome outcome)> recorded;
};

class CFolderIndexer {
public:
    CFolderIndexer(CFileObjectRegistry& registry, CCatalog& catalog,
                   std::vector<std::string> exclusions, IndexEvents events);

    // False when the walk was ended early.
    bool IndexFolder(const std::string& root);

    // How many files IndexFolder would record below `root` (for progress).
    std::size_t CountFiles(const std::string& root) const;

private:
    bool Walk(const std::string& folder, std::int32_t folderId);
    // Whether the walk goes into a folder met on the drive `device`.
    bool Enters(const std::string& path, bool isHidden, unsigned long device) const;

    CFileObjectRegistry& m_registry;
    CCatalog& m_catalog;
    std::vector<std::string> m_exclusions;
    IndexEvents m_events;
    unsigned long m_device = 0;
};
