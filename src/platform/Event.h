#pragma once

// A manual- or auto-reset event, as threads signal each other with.
// Any thread may set, reset or wait.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

class Event {
public:
    explicit Event(bool manualReset, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;

    // Waits until the event is set; an auto-reset event is reset by the wait
    // that sees it set. Returns false on time-out.
    bool Wait(std::chrono::milliseconds timeout);
    void Wait();

private:
    const bool m_manualReset;
    bool m_set;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
};

} // namespace platform
