#pragma once

// Change notifications for one folder (not its subfolders): names, attributes,
// sizes and write times of its entries. One thread waits; any thread may
// stop the wait.

#include <memory>
#include <string>

namespace platform {

class FolderChangeWatch {
public:
    enum class Wake { Changed, Stopped, Failed };

    // Null when the folder cannot be watched.
    static std::unique_ptr<FolderChangeWatch> Open(const std::string& path);
    ~FolderChangeWatch();
    FolderChangeWatch(const FolderChangeWatch&) = delete;
    FolderChangeWatch& operator=(const FolderChangeWatch&) = delete;

    // Blocks until the folder changes or Stop() is called. A burst of changes
    // (a file being written, a batch copied in) is reported once: the wait
    // returns after the folder has been quiet for `quietMs`, or after
    // `maxDelayMs` since the first change, whichever comes first.
    Wake Wait(int quietMs = 150, int maxDelayMs = 1000);

    // Ends the current and every later wait with Stopped.
    void Stop();

private:
    FolderChangeWatch(int inotifyFd, int stopFd);
    bool Drain();

    int m_inotify;
    int m_stop;
};

} // namespace platform
