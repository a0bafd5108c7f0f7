#include "files/FolderWatcher.h"

#include "platform/FolderWatch.h"
#include "platform/Messages.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

void LowerThisThreadsPriority() {
    // Per-thread nice value on Linux; failing to lower it changes nothing else.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 5);
}

void WatchLoop(std::shared_ptr<platform::FolderChangeWatch> watch, platform::WindowHandle window) {
    LowerThisThreadsPriority();
    while (watch->Wait() == platform::FolderChangeWatch::Wake::Changed) {
        platform::PostMessage(window, platform::kMsgFolderChanged, 0, 0);
    }
}

} // namespace

CFolderWatcher::~CFolderWatcher() {
    Stop();
}

void CFolderWatcher::Stop() {
    if (m_watch) {
        m_watch->Stop();
    }
    // The wait ends at once on the stop, so joining never holds the caller up.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_watch.reset();
    m_path.clear();
}

void CFolderWatcher::Watch(const std::string& path, platform::WindowHandle window) {
    Stop();
    if (path.empty()) {
        return;
    }
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    std::shared_ptr<platform::FolderChangeWatch> watch = platform::FolderChangeWatch::Open(folder);
    if (!watch) {
        return;
    }
    m_watch = watch;
    m_path = folder;
    m_thread = std::thread(WatchLoop, std::move(watch), window);
}
