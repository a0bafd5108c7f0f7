#include "files/IndexingJobs.h"

#include "catalogue/Catalog.h"
#include "files/CachePaths.h"
#include "files/FileObjectRegistry.h"
#include "files/JobCatalog.h"
#include "files/FileSystemEntry.h"
#include "files/FolderIndexer.h"
#include "files/ScanExclusions.h"
#include "platform/FileOps.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/Volumes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kIndexedTableCap = 500;

// Adds to a capped table (cleared when it holds more than 500 entries) and
// posts item-ready with the new index, unless the job was told to quit.
bool AddIndexed(CBrowseManager& manager, const CBrowseManager::Token& token,
                CFileObjectRefTable& table, const CFileObjectPtr& object,
                platform::WindowHandle window) {
    std::lock_guard lock(manager.ListingLock());
    if (token->ShouldQuit()) {
        return false;
    }
    if (table.GetCount() > kIndexedTableCap) {
        table.Clear();
    }
    table.Add(object);
    platform::PostMessage(window, platform::kMsgItemReady,
                          static_cast<std::uintptr_t>(table.GetCount() - 1), 0);
    return true;
}

std::vector<std::string> FixedDriveRoots() {
    std::vector<std::string> roots;
    for (const platform::Volume& volume : platform::ListVolumes()) {
        if (volume.IsFixed()) {
            roots.push_back(volume.mountPoint);
        }
    }
    return roots;
}

} // namespace

void RunThumbnailJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                     platform::WindowHandle window) {
    JobCatalog job(manager.Registry());
    int count;
    {
        std::lock_guard lock(manager.ListingLock());
        count = manager.ListingTable().GetCount();
    }
    for (int index = 0; index < count; ++index) {
        CFileObjectPtr entry;
        {
            std::lock_guard lock(manager.ListingLock());
            if (token->ShouldQuit()) {
                break;
            }
            entry = manager.ListingTable().GetAt(index);
        }
        if (!entry || entry->assetId == -1) {
            continue;
        }
        int fd = ::open(entry->GetFullPath().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            struct stat st;
            if (::fstat(fd, &st) == 0) {
                entry->SetModified(DateTime::FromTimeT(st.st_mtime));
            }
            ::close(fd);
        }
        MakeThumbnailAndSave(*entry, job.catalog);
        std::lock_guard lock(manager.ListingLock());
        if (token->ShouldQuit()) {
            break;
        }
        platform::PostMessage(window, platform::kMsgItemReady, static_cast<std::uintptr_t>(index),
                              0);
    }
    if (token->ShouldQuit()) {
        manager.StopJob(token);
        return;
    }
    manager.EndJob(token, nullptr, window, 0);
}

void RunComputerScanJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                        platform::WindowHandle window, const std::vector<std::string>& roots) {
    JobCatalog job(manager.Registry());
    IndexEvents events;
    events.shouldStop = [&token] { return token->ShouldQuit(); };
    events.enteringFolder = [window](const std::string& folder) {
        // The receiver owns the path: it goes with the message, and with it when dropped.
        auto announced = std::make_shared<std::string>(folder);
        platform::PostMessage(window, platform::kMsgScanningFolder,
                              reinterpret_cast<std::uintptr_t>(announced.get()), 0, announced);
    };
    events.recorded = [&](const CFileObjectPtr& object, ThumbnailOutcome) {
        return !object->isimage ||
               AddIndexed(manager, token, manager.ListingTable(), object, window);
    };
    CFolderIndexer indexer(manager.Registry(), job.catalog,
                           ScanExclusions(files::GetThumbnailDir()), std::move(events));
    for (const std::string& root : roots.empty() ? FixedDriveRoots() : roots) {
        {
            std::lock_guard lock(manager.ListingLock());
            if (token->ShouldQuit()) {
                break;
            }
            manager.ListingTable().Clear();
        }
        struct stat st;
        if (::stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            continue;
        }
        CFileObjectPtr drive = manager.Registry().GetFileObject(root, 0);
        drive->SetDrive(true);
        drive->isfolder = true;
        if (!indexer.IndexFolder(root)) {
            break;
        }
    }
    if (token->ShouldQuit()) {
        manager.StopJob(token);
        return;
    }
    manager.EndJob(token, nullptr, window, platform::kMsgListingReady);
}

void RunCopyJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                platform::WindowHandle window, const std::string& destination,
                const CFileObjectTable& sources, bool move) {
    JobCatalog job(manager.Registry());
    const std::int32_t folderId = manager.Registry().FolderIdForPath(destination);
    for (const CFileObjectPtr& source : sources) {
        if (token->ShouldQuit()) {
            manager.StopJob(token);
            return;
        }
        const std::string name = source->GetFileName();
        const std::string target = ChildPath(destination, name);
        // An existing file of that name stays, and is what gets listed.
        if (move) {
            platform::MoveFileOrFolder(source->GetFullPath(), target, false);
        } else {
            platform::CopyFileNoReplace(source->GetFullPath(), target);
        }
        CFileObjectPtr copy = manager.Registry().GetFileObject(target, folderId);
        copy->fileName = name;
        if (copy->assetId == -1) {
            continue;
        }
        MakeThumbnailAndSave(*copy, job.catalog);
        if (!AddIndexed(manager, token, manager.CopyTable(), copy, window)) {
            manager.StopJob(token);
            return;
        }
    }
    manager.EndJob(token, nullptr, window, platform::kMsgListingReady);
}
