#pragma once

// Window handles and posted messages. Windows register a handler and get an
// integer handle; workers post messages to handles and never touch windows.
// Messages are delivered on the user-interface thread when it drains the
// queue (the Qt side drains on every wake-up; tests drain by hand). Posting
// to a dead handle does nothing; a message whose window died before delivery
// is dropped, and its payload released with it.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>

namespace platform {

using WindowHandle = std::uint32_t; // 0: no window

struct Message {
    WindowHandle window = 0;
    unsigned id = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    // Data the message carries and the receiver takes over (a path, a record).
    std::shared_ptr<void> payload;
};

using MessageHandler = std::function<std::intptr_t(const Message&)>;

class MessageLoop {
public:
    // The process's loop. The thread that first calls Instance() is taken as
    // the user-interface thread until SetUiThread() says otherwise.
    static MessageLoop& Instance();

    void SetUiThread();
    bool IsUiThread() const;

    // Called from any thread whenever work was queued; the UI side answers by
    // calling DrainPending() on the UI thread soon after.
    void SetWakeUp(std::function<void()> wakeUp);

    WindowHandle Register(MessageHandler handler);
    void Unregister(WindowHandle window);
    bool IsWindow(WindowHandle window) const;

    // Never blocks. False when the handle is dead.
    bool Post(WindowHandle window, unsigned id, std::uintptr_t wParam = 0, std::intptr_t lParam = 0,
              std::shared_ptr<void> payload = {});

    // On the UI thread: calls the handler at once. On a worker: queues the
    // message and blocks until the UI thread handled it, or the window died.
    // Returns the handler's result, 0 when nothing handled it.
    std::intptr_t Send(WindowHandle window, unsigned id, std::uintptr_t wParam = 0,
                       std::intptr_t lParam = 0, std::shared_ptr<void> payload = {});

    // Runs the function on the UI thread and waits for it to finish.
    void Invoke(const std::function<void()>& function);

    // UI thread: delivers everything queued so far. Returns how many items ran.
    std::size_t DrainPending();

    // Pending items, for tests.
    std::size_t PendingCount() const;

private:
    struct Item;
    MessageLoop();
    void Enqueue(std::shared_ptr<Item> item);
    MessageHandler HandlerFor(WindowHandle window) const;

    mutable std::mutex m_mutex;
    std::thread::id m_uiThread;
    std::function<void()> m_wakeUp;
    std::unordered_map<WindowHandle, std::shared_ptr<MessageHandler>> m_windows;
    WindowHandle m_nextHandle = 1;
    std::deque<std::shared_ptr<Item>> m_queue;
};

inline bool PostMessage(WindowHandle window, unsigned id, std::uintptr_t wParam = 0,
                        std::intptr_t lParam = 0, std::shared_ptr<void> payload = {}) {
    return MessageLoop::Instance().Post(window, id, wParam, lParam, std::move(payload));
}

inline std::intptr_t SendMessage(WindowHandle window, unsigned id, std::uintptr_t wParam = 0,
                                 std::intptr_t lParam = 0, std::shared_ptr<void> payload = {}) {
    return MessageLoop::Instance().Send(window, id, wParam, lParam, std::move(payload));
}

} // namespace platform
