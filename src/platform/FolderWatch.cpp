#include "platform/FolderWatch.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr std::uint32_t kEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                  IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF;

} // namespace

std::unique_ptr<FolderChangeWatch> FolderChangeWatch::Open(const std::string& path) {
    int inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0) {
        return nullptr;
    }
    if (inotify_add_watch(inotifyFd, path.c_str(), kEvents | IN_ONLYDIR) < 0) {
        ::close(inotifyFd);
        return nullptr;
    }
    int stopFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stopFd < 0) {
        ::close(inotifyFd);
        return nullptr;
    }
    return std::unique_ptr<FolderChangeWatch>(new FolderChangeWatch(inotifyFd, stopFd));
}

FolderChangeWatch::FolderChangeWatch(int inotifyFd, int stopFd)
    : m_inotify(inotifyFd), m_stop(stopFd) {}

FolderChangeWatch::~FolderChangeWatch() {
    ::close(m_inotify);
    ::close(m_stop);
}

void FolderChangeWatch::Stop() {
    std::uint64_t one = 1;
    ssize_t written = ::write(m_stop, &one, sizeof one);
    (void)written; // the counter only saturates, never fails to wake
}

// Reads every pending event. False when the watch itself is gone.
bool FolderChangeWatch::Drain() {
    alignas(inotify_event) char buffer[8192];
    for (;;) {
        ssize_t n = ::read(m_inotify, buffer, sizeof buffer);
        if (n > 0) {
            for (char* p = buffer; p < buffer + n;) {
                auto* event = reinterpret_cast<inotify_event*>(p);
                if (event->mask & IN_IGNORED) {
                    return false;
                }
                p += sizeof(inotify_event) + event->len;
            }
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EINTR);
    }
}

FolderChangeWatch::Wake FolderChangeWatch::Wait(int quietMs, int maxDelayMs) {
    using Clock = std::chrono::steady_clock;
    bool changed = false;
    Clock::time_point first;
    for (;;) {
        pollfd fds[2] = {{m_stop, POLLIN, 0}, {m_inotify, POLLIN, 0}};
        int timeout = -1;
        if (changed) {
            auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - first);
            timeout =
                std::max(0, std::min<int>(quietMs, maxDelayMs - static_cast<int>(waited.count())));
        }
        int ready = ::poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Wake::Failed;
        }
        if (fds[0].revents & POLLIN) {
            return Wake::Stopped;
        }
        if (ready == 0) {
            return Wake::Changed; // quiet long enough, or waited long enough
        }
        if (fds[1].revents & POLLIN) {
            const bool alive = Drain();
            if (!changed) {
                changed = true;
                first = Clock::now();
            }
            if (!alive) {
                return Wake::Changed; // the folder went away: one last report
            }
        }
    }
}

} // namespace platform
