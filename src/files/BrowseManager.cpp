#include "files/BrowseManager.h"

#include "files/FileObjectRegistry.h"
#include "files/IndexingJobs.h"
#include "files/ListingJobs.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "platform/Paths.h"

#include <algorithm>

namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

CBrowseManager::CBrowseManager(CFileObjectRegistry& registry, platform::WindowHandle defaultWindow,
                               std::string thumbnailDir)
    : m_registry(registry), m_listing(std::make_unique<CFileObjectRefTable>()),
      m_copies(std::make_unique<CFileObjectRefTable>()), m_defaultWindow(defaultWindow),
      m_desktopName(kDesktopName), m_desktopPath(platform::DesktopDirectory()),
      m_driveListName(kDriveListName), m_thumbnailDir(std::move(thumbnailDir)) {}

CBrowseManager::~CBrowseManager() {
    // Album, search and copy jobs are not told to quit: they run to their end.
    m_stores[kListingStore].QuitAll();
    m_stores[kThumbnailStore].QuitAll();
    m_running.IsZeroEvent().Wait();
    // Every job has counted itself out; let their threads finish their last steps.
    std::vector<JobThread> threads;
    {
        std::lock_guard lock(m_threadsMutex);
        threads.swap(m_threads);
    }
    for (JobThread& job : threads) {
        job.thread.join();
    }
    std::lock_guard lock(m_listingLock);
    m_listing.reset();
    m_copies.reset();
}

// ---- the start, end and stop protocols ----

void CBrowseManager::QuitStores(unsigned quitStores) {
    for (StoreId id : {kThumbnailStore, kListingStore, kAlbumStore, kSearchStore, kCopyStore}) {
        if (quitStores & (1u << id)) {
            m_stores[id].QuitAll();
        }
    }
}

void CBrowseManager::ReapFinishedThreads() {
    std::lock_guard lock(m_threadsMutex);
    auto finished = std::stable_partition(m_threads.begin(), m_threads.end(),
                                          [](const JobThread& job) { return !job.done->load(); });
    for (auto it = finished; it != m_threads.end(); ++it) {
        it->thread.join();
    }
    m_threads.erase(finished, m_threads.end());
}

void CBrowseManager::StartJob(StoreId store, unsigned quitStores, CFileObjectRefTable* tableToClear,
                              std::function<void(const Token&)> job) {
    ReapFinishedThreads();
    std::lock_guard lock(m_listingLock);
    QuitStores(quitStores);
    if (tableToClear != nullptr) {
        tableToClear->Clear();
    }
    Token token(new CThreadStore::CQuitThread);
    m_running.Increment();
    auto done = std::make_shared<std::atomic<bool>>(false);
    // A listing job's first step takes the listing lock, which this start
    // holds until the token is registered: no job gets ahead of its registration.
    std::thread thread([job = std::move(job), token, done] {
        job(token);
        done->store(true);
    });
    m_stores[store].Register(thread.get_id(), token);
    std::lock_guard threadsLock(m_threadsMutex);
    m_threads.push_back(JobThread{std::move(thread), std::move(done)});
}

void CBrowseManager::EndJob(const Token& token, CFileObjectRefTable* tableToSort,
                            platform::WindowHandle window, unsigned message) {
    {
        std::lock_guard lock(m_listingLock);
        // Told to quit after its last entry: the successor owns the table now.
        if (token->ShouldQuit()) {
            StopJob(token);
            return;
        }
        if (tableToSort != nullptr) {
            std::sort(tableToSort->begin(), tableToSort->end(), FileObjectLess);
        }
        if (message != 0) {
            platform::PostMessage(window, message, 1, 0);
        }
    }
    CThreadStore::UnregisterFromOwner(token);
    m_running.Decrement();
}

void CBrowseManager::StopJob(const Token& token) {
    CThreadStore::UnregisterFromOwner(token);
    m_running.Decrement();
}

bool CBrowseManager::AnyJobRegistered() const {
    return std::any_of(std::begin(m_stores), std::end(m_stores),
                       [](const CThreadStore& store) { return !store.IsEmpty(); });
}

// ---- navigation ----

bool CBrowseManager::IsThumbnailCache(const std::string& folder) const {
    return !m_thumbnailDir.empty() &&
           WithoutTrailingSlash(folder) == WithoutTrailingSlash(m_thumbnailDir);
}

void CBrowseManager::AddHistory(BrowseLocation location) {
    if (m_historyIndex + 1 < static_cast<int>(m_history.size())) {
        m_history.erase(m_history.begin() + (m_historyIndex + 1), m_history.end());
    }
    m_history.push_back(std::make_unique<BrowseLocation>(std::move(location)));
    m_historyIndex = static_cast<int>(m_history.size()) - 1;
    m_current = m_history.back().get();
}

int CBrowseManager::BrowseDriveList() {
    StartJob(kListingStore, kQuitListingSide, m_listing.get(),
             [this](const Token& token) { RunDriveListJob(*this, token, m_defaultWindow); });
    return 1;
}

int CBrowseManager::BrowseFolder(const std::string& path, bool addToHistory) {
    if (EqualsIgnoringCase(path, m_driveListName)) {
        return BrowseDriveList();
    }
    std::string folder = EqualsIgnoringCase(path, m_desktopName) ? m_desktopPath : path;
    if (IsThumbnailCache(folder)) {
        platform::ShowMessageBox(kThumbnailCacheMessage, platform::MessageBoxButtons::Ok);
        Refresh();
        return 0;
    }
    if (addToHistory) {
        AddHistory(BrowseLocation{path, BrowseLocation::kFolder, -1, {}});
    }
    const std::int32_t folderId = m_registry.FolderIdForPath(folder);
    StartJob(kListingStore, kQuitListingSide, m_listing.get(),
             [this, folder, folderId](const Token& token) {
                 RunFolderJob(*this, token, m_defaultWindow, folder, folderId);
             });
    return 1;
}

int CBrowseManager::BrowseFolders(const std::vector<std::string>& folders,
                                  platform::WindowHandle window, bool imagesOnly) {
    std::vector<std::string> list;
    for (const std::string& folder : folders) {
        if (EqualsIgnoringCase(folder, m_driveListName)) {
            continue;
        }
        list.push_back(EqualsIgnoringCase(folder, m_desktopName) ? m_desktopPath : folder);
        if (IsThumbnailCache(list.back())) {
            platform::ShowMessageBox(kThumbnailCacheMessage, platform::MessageBoxButtons::Ok);
            Refresh();
            return 0;
        }
    }
    StartJob(kListingStore, kQuitListingSide, m_listing.get(),
             [this, list, window, imagesOnly](const Token& token) {
                 RunSeveralFoldersJob(*this, token, window, list, imagesOnly);
             });
    return 1;
}

int CBrowseManager::BrowseAlbum(const AlbumInfo& album) {
    AddHistory(BrowseLocation{album.name, BrowseLocation::kAlbum, album.id, album});
    StartAlbumJob(album);
    return 1;
}

void CBrowseManager::StartAlbumJob(const AlbumInfo& album) {
    StartJob(kAlbumStore, kQuitListingSide, m_listing.get(), [this, album](const Token& token) {
        RunAlbumJob(*this, token, m_defaultWindow, album);
    });
}

int CBrowseManager::Search(const std::string& query, bool addToHistory) {
    if (addToHistory) {
        AddHistory(BrowseLocation{query, BrowseLocation::kSearch, -1, {}});
    }
    StartJob(kSearchStore, kQuitListingSide, m_listing.get(), [this, query](const Token& token) {
        RunSearchJob(*this, token, m_defaultWindow, query);
    });
    return 1;
}

void CBrowseManager::ShowBasket(const CFileObjectTable& basket, bool addToHistory) {
    if (addToHistory) {
        AddHistory(BrowseLocation{kMiniBasketName, BrowseLocation::kBasket, -1, {}});
    }
    m_lastBasket = basket;
    {
        std::lock_guard lock(m_listingLock);
        QuitStores(kQuitListingSide);
        m_listing->Clear();
        for (const CFileObjectPtr& entry : basket) {
            m_listing->Add(entry);
        }
    }
    platform::PostMessage(m_defaultWindow, platform::kMsgListingReady, 1, 0);
}

void CBrowseManager::StartThumbnails(platform::WindowHandle window) {
    const platform::WindowHandle report =
        platform::MessageLoop::Instance().IsWindow(window) ? window : m_defaultWindow;
    StartJob(kThumbnailStore, 1u << kThumbnailStore, nullptr,
             [this, report](const Token& token) { RunThumbnailJob(*this, token, report); });
}

void CBrowseManager::ScanComputer(platform::WindowHandle window,
                                  const std::vector<std::string>& roots) {
    StartJob(kListingStore, kQuitListingSide, m_listing.get(),
             [this, window, roots](const Token& token) {
                 RunComputerScanJob(*this, token, window, roots);
             });
}

void CBrowseManager::CopyIntoFolder(platform::WindowHandle window, const std::string& destination,
                                    const CFileObjectTable& sources, bool move) {
    StartJob(kCopyStore, kQuitListingSide | (1u << kCopyStore), m_copies.get(),
             [this, window, destination, sources, move](const Token& token) {
                 RunCopyJob(*this, token, window, destination, sources, move);
             });
}

void CBrowseManager::Rebrowse(const BrowseLocation& location, bool& refused) {
    refused = false;
    switch (location.kind) {
    case BrowseLocation::kFolder:
        refused = BrowseFolder(location.text, false) == 0;
        break;
    case BrowseLocation::kAlbum:
        StartAlbumJob(location.album);
        break;
    case BrowseLocation::kBasket:
        ShowBasket(m_basketSource ? m_basketSource() : m_lastBasket, false);
        break;
    case BrowseLocation::kSearch:
        Search(location.text, false);
        break;
    }
}

std::string CBrowseManager::Back() {
    if (m_history.empty()) {
        return {};
    }
    m_historyIndex = std::max(0, m_historyIndex - 1);
    m_current = m_history[static_cast<size_t>(m_historyIndex)].get();
    const BrowseLocation location = *m_current;
    bool refused;
    Rebrowse(location, refused);
    return refused ? std::string() : location.text;
}

std::string CBrowseManager::Forward() {
    if (m_history.empty()) {
        return {};
    }
    m_historyIndex = std::min(static_cast<int>(m_history.size()) - 1, m_historyIndex + 1);
    m_current = m_history[static_cast<size_t>(m_historyIndex)].get();
    const BrowseLocation location = *m_current;
    bool refused;
    Rebrowse(location, refused);
    return refused ? std::string() : location.text;
}

void CBrowseManager::Refresh() {
    if (m_current == nullptr) {
        return;
    }
    const BrowseLocation location = *m_current;
    bool refused;
    Rebrowse(location, refused);
}
