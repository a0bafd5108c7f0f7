#pragma once

// Watches the folder the main window shows and posts "folder changed"
// (1925) to the window whenever something in it changes. One folder at a
// time; owned and driven by the user-interface thread, the wait runs on a
// thread of its own at below-normal priority.

#include "platform/MessageLoop.h"

#include <memory>
#include <string>
#include <thread>

namespace platform {
class FolderChangeWatch;
}

class CFolderWatcher {
public:
    CFolderWatcher() = default;
    CFolderWatcher(const CFolderWatcher&) = delete;
    CFolderWatcher& operator=(const CFolderWatcher&) = delete;
    ~CFolderWatcher();

    // Stops the current watch; an empty path stops only. A folder that
    // cannot be watched is given up silently.
    void Watch(const std::string& path, platform::WindowHandle window);
    void Stop();

    const std::string& WatchedPath() const { return m_path; }

private:
    std::shared_ptr<platform::FolderChangeWatch> m_watch;
    std::thread m_thread;
    std::string m_path;
};
