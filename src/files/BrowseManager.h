#pragma once

// Runs the listing jobs behind every navigation and keeps what the main
// window shows: the listing table, the current location and the history.
// Each kind of job has its own thread store; starting a listing quits the
// jobs it replaces without waiting for them, and shutdown waits until no
// job runs. Operations are called on the user-interface thread; the jobs
// fill the tables under the listing lock and report by posted messages.
//
// Lock order: the listing lock may be held when the registry lock is taken
// (releasing handles, getting file objects), never the reverse.

#include "catalogue/AlbumInfo.h"
#include "files/FileObject.h"
#include "files/ThreadStore.h"
#include "files/WhenZero.h"
#include "platform/MessageLoop.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CFileObjectRegistry;

// Where the view is: kind 0 folder (text: its path), 1 album (text: its
// name), 2 mini-basket (text: "Mini Basket"), 3 search (text: the query).
struct BrowseLocation {
    enum Kind : std::int32_t { kFolder = 0, kAlbum = 1, kBasket = 2, kSearch = 3 };

    std::string text;
    std::int32_t kind = kFolder;
    std::int32_t albumId = -1;
    // A copy of the album record, so a location outlives the pane's tree.
    AlbumInfo album;
};

inline constexpr char kMiniBasketName[] = "Mini Basket"; // string 131
inline constexpr char kDriveListName[] = "Computer";
inline constexpr char kDesktopName[] = "Desktop";
inline constexpr char kThumbnailCacheMessage[] =
    "You are attempting to browse the thumbnail cache.\nThis is not supported.";

class CBrowseManager {
public:
    using Token = CThreadStore::Token;

    CBrowseManager(CFileObjectRegistry& registry, platform::WindowHandle defaultWindow,
                   std::string thumbnailDir);
    CBrowseManager(const CBrowseManager&) = delete;
    CBrowseManager& operator=(const CBrowseManager&) = delete;
    // Quits the listing and thumbnail jobs and waits until no job runs.
    ~CBrowseManager();

    // ---- Navigation. The browse operations return 0 when they start nothing. ----
    int BrowseDriveList();
    int BrowseFolder(const std::string& path, bool addToHistory = true);
    // Images only, reported to `window` (a page of the acquire wizard).
    int BrowseFolders(const std::vector<std::string>& folders, platform::WindowHandle window,
                      bool imagesOnly = true);
    int BrowseAlbum(const AlbumInfo& album);
    int Search(const std::string& query, bool addToHistory = true);
    void ShowBasket(const CFileObjectTable& basket, bool addToHistory = true);
    // Thumbnails for the current listing, reported to `window` while it is
    // a window, else to the default window.
    void StartThumbnails(platform::WindowHandle window = 0);
    // Records every file on the fixed drives (or below `roots`) with its
    // thumbnail and metadata, reported to `window` (the first-run dialog).
    void ScanComputer(platform::WindowHandle window, const std::vector<std::string>& roots = {});
    // Copies (or moves) the files into the folder, never overwriting; the
    // results go to the copy table, reported to `window`.
    void CopyIntoFolder(platform::WindowHandle window, const std::string& destination,
                        const CFileObjectTable& sources, bool move);
    // Where Back, Forward and Refresh find the basket's current content.
    void SetBasketSource(std::function<CFileObjectTable()> source) {
        m_basketSource = std::move(source);
    }

    // Re-browse the previous or next history entry; its text, or "" when a
    // folder browse was refused.
    std::string Back();
    std::string Forward();
    void Refresh();

    // ---- What the window reads. Take ListingLock() around the tables. ----
    std::recursive_mutex& ListingLock() { return m_listingLock; }
    CFileObjectRefTable& ListingTable() { return *m_listing; }
    CFileObjectRefTable& CopyTable() { return *m_copies; }
    const BrowseLocation* CurrentLocation() const { return m_current; }
    int HistoryIndex() const { return m_historyIndex; }
    int HistorySize() const { return static_cast<int>(m_history.size()); }
    const BrowseLocation& HistoryAt(int index) const {
        return *m_history[static_cast<size_t>(index)];
    }
    CWhenZero<unsigned char>& RunningCounter() { return m_running; }
    platform::WindowHandle DefaultWindow() const { return m_defaultWindow; }
    CFileObjectRegistry& Registry() { return m_registry; }

    const std::string& DesktopName() const { return m_desktopName; }
    const std::string& DesktopPath() const { return m_desktopPath; }
    const std::string& DriveListName() const { return m_driveListName; }

    // Every store at once, for tests and the first-run dialog.
    bool AnyJobRegistered() const;

    // ---- The machinery the jobs use. ----
    enum StoreId {
        kListingStore,
        kAlbumStore,
        kThumbnailStore,
        kSearchStore,
        kCopyStore,
        kStoreCount
    };
    // Bits of the stores a start quits: 1 << StoreId.
    static constexpr unsigned kQuitListingSide = (1u << kThumbnailStore) | (1u << kListingStore) |
                                                 (1u << kAlbumStore) | (1u << kSearchStore);

    // Starts `job` on a thread of its own under the start protocol: quit the
    // stores, clear the table, count the job, register its token.
    void StartJob(StoreId store, unsigned quitStores, CFileObjectRefTable* tableToClear,
                  std::function<void(const Token&)> job);

    // The end of a job that completed: sort the table when asked and post
    // the message unless the job was told to quit meanwhile; then count it out.
    void EndJob(const Token& token, CFileObjectRefTable* tableToSort, platform::WindowHandle window,
                unsigned message);
    // The end of a job that saw its quit flag: nothing is sorted or posted.
    void StopJob(const Token& token);

private:
    struct JobThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    bool IsThumbnailCache(const std::string& folder) const;
    void AddHistory(BrowseLocation location);
    void Rebrowse(const BrowseLocation& location, bool& refused);
    void StartAlbumJob(const AlbumInfo& album);
    void QuitStores(unsigned quitStores);
    void ReapFinishedThreads();

    int m_historyIndex = -1;
    std::vector<std::unique_ptr<BrowseLocation>> m_history;
    CFileObjectRegistry& m_registry;
    std::unique_ptr<CFileObjectRefTable> m_listing;
    std::unique_ptr<CFileObjectRefTable> m_copies;
    const BrowseLocation* m_current = nullptr;
    CThreadStore m_stores[kStoreCount];
    CWhenZero<unsigned char> m_running;
    platform::WindowHandle m_defaultWindow;
    std::string m_desktopName;
    std::string m_desktopPath;
    std::string m_driveListName;

    std::string m_thumbnailDir;
    std::function<CFileObjectTable()> m_basketSource;
    CFileObjectTable m_lastBasket;
    std::recursive_mutex m_listingLock;
    std::mutex m_threadsMutex;
    std::vector<JobThread> m_threads;
};
