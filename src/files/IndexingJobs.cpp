#include "files/IndexingJobs.h"

#include "catalogue/Catalog.h"
#include "files/CachePaths.h"
#include "files/FileObjectRegistry.h"
#include "files/FileSystemEntry.h"
#include "files/FolderIndexer.h"
#include "files/JobCatalog.h"
#include "files/ScanExclusions.h"
#include "platform/FileOps.h"
#include "platform/Messages.h"
#include "platform/Paths.h"
#include "platform/Volumes.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
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

namespace {

// The pictures of a listing loaded on several threads and handed back in
// listing order: loaders take the next index, read the file's write time and
// make or read its thumbnail; the job saves and reports each one in order.
class OrderedThumbnailLoader {
public:
    OrderedThumbnailLoader(CBrowseManager& manager, const CBrowseManager::Token& token, int count)
        : m_manager(manager), m_token(token), m_slots(static_cast<size_t>(count)) {
        const unsigned loaders = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        for (unsigned i = 0; i < loaders; ++i) {
            m_loaders.emplace_back([this] { Load(); });
        }
    }
    ~OrderedThumbnailLoader() {
        for (std::thread& loader : m_loaders) {
            loader.join();
        }
    }

    // Waits for entry `index`; null when it is not one to report.
    CFileObjectPtr Take(int index) {
        std::unique_lock lock(m_mutex);
        m_readyChanged.wait(lock, [&] { return m_slots[static_cast<size_t>(index)].ready; });
        return std::move(m_slots[static_cast<size_t>(index)].entry);
    }

private:
    struct Slot {
        CFileObjectPtr entry;
        bool ready = false;
    };

    void Load() {
        for (;;) {
            const int index = m_next.fetch_add(1);
            if (index >= static_cast<int>(m_slots.size())) {
                return;
            }
            CFileObjectPtr entry;
            {
                std::lock_guard lock(m_manager.ListingLock());
                if (!m_token->ShouldQuit()) {
                    entry = m_manager.ListingTable().GetAt(index);
                }
            }
            if (entry && entry->assetId != -1) {
                ReadWriteTime(*entry);
                LoadPictureThumbnail(*entry);
            } else {
                entry = CFileObjectPtr();
            }
            {
                std::lock_guard lock(m_mutex);
                m_slots[static_cast<size_t>(index)] = Slot{std::move(entry), true};
            }
            m_readyChanged.notify_all();
        }
    }

    static void ReadWriteTime(CFileObject& entry) {
        int fd = ::open(entry.GetFullPath().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        struct stat st;
        if (::fstat(fd, &st) == 0) {
            entry.SetModified(DateTime::FromTimeT(st.st_mtime));
        }
        ::close(fd);
    }

    CBrowseManager& m_manager;
    const CBrowseManager::Token& m_token;
    std::vector<Slot> m_slots;
    std::atomic<int> m_next{0};
    std::mutex m_mutex;
    std::condition_variable m_readyChanged;
    std::vector<std::thread> m_loaders;
};

} // namespace

void RunThumbnailJob(CBrowseManager& manager, const CBrowseManager::Token& token,
                     platform::WindowHandle window) {
    JobCatalog job(manager.Registry());
    int count;
    {
        std::lock_guard lock(manager.ListingLock());
        count = manager.ListingTable().GetCount();
    }
    {
        OrderedThumbnailLoader loader(manager, token, count);
        for (int index = 0; index < count && !token->ShouldQuit(); ++index) {
            CFileObjectPtr entry = loader.Take(index);
            if (!entry) {
                continue;
            }
            SaveThumbnailChanges(*entry, job.catalog);
            std::lock_guard lock(manager.ListingLock());
            if (token->ShouldQuit()) {
                break;
            }
            platform::PostMessage(window, platform::kMsgItemReady,
                                  static_cast<std::uintptr_t>(index), 0);
        }
    } // the loaders wind down on the quit flag or the last index
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
