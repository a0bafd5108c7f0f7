#include "files/IndexingJobs.h"

#include "catalogue/Catalog.h"
#include "files/CachePaths.h"
#include "files/FileObjectRegistry.h"
#include "files/FileSystemEntry.h"
#include "files/ScanExclusions.h"
#include "files/ThumbnailCache.h"
#include "imaging/PictureExtensions.h"
#include "platform/FileOps.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/Volumes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kIndexedTableCap = 500;

// The job's own catalogue object.
struct JobCatalog {
    CCatalog catalog;
    explicit JobCatalog(CFileObjectRegistry& registry) : catalog(registry.Catalog().Path()) {
        catalog.MainDb().SetBusyTimeout(kBusyTimeoutMs);
        catalog.OpenMain();
        catalog.SetRegistry(&registry);
    }
};

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

struct Scan {
    CBrowseManager& manager;
    const CBrowseManager::Token& token;
    platform::WindowHandle window;
    CCatalog& catalog;
    std::vector<std::string> exclusions;
    dev_t device = 0; // the drive being scanned: other mounts below it are not entered
};

bool IsSymbolicLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool OnDevice(const std::string& path, dev_t device) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && st.st_dev == device;
}

// Depth first in enumeration order. False when the job was told to quit.
bool ScanFolder(Scan& scan, const std::string& folder, std::int32_t folderId) {
    bool quit = false;
    EnumerateFolder(folder, [&](const std::string& name) {
        if (scan.token->ShouldQuit()) {
            quit = true;
            return false;
        }
        const std::string path = ChildPath(folder, name);
        FileSystemFacts facts;
        if (!ReadFileSystemFacts(path, facts)) {
            return true;
        }
        CFileObjectPtr object = scan.manager.Registry().GetFileObject(path, folderId);
        ApplyFileSystemFacts(*object, name, facts);
        if (facts.isFolder) {
            if (!facts.isHidden && !IsSymbolicLink(path) && OnDevice(path, scan.device) &&
                !IsExcludedFromScan(scan.exclusions, path)) {
                auto announced = std::make_shared<std::string>(path);
                platform::PostMessage(scan.window, platform::kMsgScanningFolder,
                                      reinterpret_cast<std::uintptr_t>(announced.get()), 0,
                                      announced);
                if (!ScanFolder(scan, path, scan.manager.Registry().FolderIdForPath(path))) {
                    quit = true;
                    return false;
                }
            }
            return true;
        }
        if (object->assetId == -1) {
            return true;
        }
        MakeThumbnailAndSave(*object, scan.catalog);
        if (object->isimage && !AddIndexed(scan.manager, scan.token, scan.manager.ListingTable(),
                                           object, scan.window)) {
            quit = true;
            return false;
        }
        return true;
    });
    return !quit;
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

void MakeThumbnailAndSave(CFileObject& object, CCatalog& catalog) {
    // Only files named as pictures (or known as images) are decoded: a scan
    // must not read every video, archive and document on the disk.
    if (!object.isimage && !imaging::IsPictureExtension(object.fileName)) {
        return;
    }
    LoadThumbnail(object, files::GetThumbnailDir());
    if (object.metaModified) {
        catalog.SaveAsset(&object);
        object.metaModified = false;
        object.fileModified = false;
    }
}

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
    Scan scan{manager, token, window, job.catalog, ScanExclusions(files::GetThumbnailDir()), 0};
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
        scan.device = st.st_dev;
        CFileObjectPtr drive = manager.Registry().GetFileObject(root, 0);
        drive->SetDrive(true);
        drive->isfolder = true;
        if (!ScanFolder(scan, root, manager.Registry().FolderIdForPath(root))) {
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
