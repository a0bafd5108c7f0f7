#include "files/ListingJobs.h"

#include "catalogue/Catalog.h"
#include "files/FileObjectRegistry.h"
#include "files/FileSystemEntry.h"
#include "files/JobCatalog.h"
#include "imaging/Image.h"
#include "imaging/PictureExtensions.h"
#include "platform/Messages.h"
#include "platform/Volumes.h"

namespace {

// Adds to the listing unless the job was told to quit. The flag is read
// under the listing lock, which every start holds while it quits and clears:
// a job that lost the table never writes into its successor's listing.
bool AddToListing(CBrowseManager& manager, const CBrowseManager::Token& token,
                  const CFileObjectPtr& object) {
    std::lock_guard lock(manager.ListingLock());
    if (token->ShouldQuit()) {
        return false;
    }
    manager.ListingTable().Add(object);
    return true;
}

// Lists one entry of a folder: its object (found or recorded in the
// catalogue) with its file-system facts.
void ListEntry(CBrowseManager& manager, const CBrowseManager::Token& token,
               const std::string& folder, const std::string& name, std::int32_t folderId) {
    const std::string path = ChildPath(folder, name);
    FileSystemFacts facts;
    if (!ReadFileSystemFacts(path, facts)) {
        return; // deleted while the folder was read
    }
    CFileObjectPtr object = manager.Registry().GetFileObject(path, folderId);
    ApplyFileSystemFacts(*object, name, facts);
    AddToListing(manager, token, object);
}

// Walks a folder's entries, checking the quit flag before each. False when
// the job was told to quit.
bool ListFolder(const CBrowseManager::Token& token, const std::string& folder,
                const std::function<void(const std::string&)>& list) {
    bool quit = false;
    EnumerateFolder(folder, [&](const std::string& name) {
        if (token->ShouldQuit()) {
            quit = true;
            return false;
        }
        list(name);
        return true;
    });
    return !quit;
}

// False when the job was told to quit before it began: a job that starts
// late must not clear the listing its successor is filling.
bool ClearListing(CBrowseManager& manager, const CBrowseManager::Token& token) {
    std::lock_guard lock(manager.ListingLock());
    if (token->ShouldQuit()) {
        return false;
    }
    manager.ListingTable().Clear();
    return true;
}

} // namespace

bool IsPictureFile(const std::string& path) {
    if (!imaging::IsPictureExtension(path)) {
        return false;
    }
    CxImage image;
    return image.LoadFileReduced(path, 1, 1);
}

void RunDriveListJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                     platform::WindowHandle window) {
    if (!ClearListing(manager, token)) {
        manager.StopJob(token);
        return;
    }
    for (const platform::Volume& volume : platform::ListVolumes()) {
        if (token->ShouldQuit()) {
            manager.StopJob(token);
            return;
        }
        CFileObjectPtr drive = manager.Registry().GetFileObject(volume.mountPoint, 0);
        drive->fileName = volume.mountPoint;
        drive->SetDrive(true);
        drive->isfolder = true;
        drive->SetHidden(false);
        drive->SetSystem(false);
        drive->SetReadOnly(false);
        drive->SetSize(0);
        AddToListing(manager, token, drive);
    }
    manager.EndJob(token, &manager.ListingTable(), window, platform::kMsgListingReady);
}

void RunFolderJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                  platform::WindowHandle window, const std::string& folder, std::int32_t folderId) {
    const bool completed =
        ClearListing(manager, token) && ListFolder(token, folder, [&](const std::string& name) {
            ListEntry(manager, token, folder, name, folderId);
        });
    if (!completed) {
        manager.StopJob(token);
        return;
    }
    manager.EndJob(token, &manager.ListingTable(), window, platform::kMsgListingReady);
}

void RunSeveralFoldersJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                          platform::WindowHandle window, const std::vector<std::string>& folders,
                          bool imagesOnly) {
    if (!ClearListing(manager, token)) {
        manager.StopJob(token);
        return;
    }
    for (const std::string& folder : folders) {
        const bool completed = ListFolder(token, folder, [&](const std::string& name) {
            const std::string path = ChildPath(folder, name);
            if (imagesOnly && !IsPictureFile(path)) {
                return;
            }
            ListEntry(manager, token, folder, name, manager.Registry().FolderIdForPath(folder));
        });
        if (!completed) {
            manager.StopJob(token);
            return;
        }
    }
    manager.EndJob(token, &manager.ListingTable(), window, platform::kMsgListingReady);
}

void RunAlbumJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                 platform::WindowHandle window, const AlbumInfo& album) {
    if (!ClearListing(manager, token)) {
        manager.StopJob(token);
        return;
    }
    JobCatalog job(manager.Registry());
    {
        std::lock_guard lock(manager.ListingLock());
        if (token->ShouldQuit()) {
            // Replaced before it began: the table is the successor's.
        } else if (album.system != 0) {
            job.catalog.RunIdQuery(album.search, manager.ListingTable());
        } else if (album.automatic != 0) {
            job.catalog.QuickSearch(album.search, manager.ListingTable());
        } else {
            job.catalog.ListAlbumAssets(album.id, manager.ListingTable());
        }
    }
    manager.EndJob(token, &manager.ListingTable(), window, platform::kMsgListingReady);
}

void RunSearchJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                  platform::WindowHandle window, const std::string& query) {
    if (!ClearListing(manager, token)) {
        manager.StopJob(token);
        return;
    }
    JobCatalog job(manager.Registry());
    {
        std::lock_guard lock(manager.ListingLock());
        if (!token->ShouldQuit()) {
            job.catalog.QuickSearch(query, manager.ListingTable());
        }
    }
    manager.EndJob(token, &manager.ListingTable(), window, platform::kMsgListingReady);
}
