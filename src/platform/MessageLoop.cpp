#include "platform/MessageLoop.h"

#include <condition_variable>

namespace platform {

// A queued message or function. A sender waits on `done`.
struct MessageLoop::Item {
    Message message;
    std::function<void()> function;
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    std::intptr_t result = 0;

    void Finish(std::intptr_t value) {
        {
            std::lock_guard lock(mutex);
            result = value;
            done = true;
        }
        doneChanged.notify_all();
    }
};

MessageLoop& MessageLoop::Instance() {
    static MessageLoop loop;
    return loop;
}

MessageLoop::MessageLoop() : m_uiThread(std::this_thread::get_id()) {}

void MessageLoop::SetUiThread() {
    std::lock_guard lock(m_mutex);
    m_uiThread = std::this_thread::get_id();
}

bool MessageLoop::IsUiThread() const {
    std::lock_guard lock(m_mutex);
    return m_uiThread == std::this_thread::get_id();
}

void MessageLoop::SetWakeUp(std::function<void()> wakeUp) {
    bool pending;
    {
        std::lock_guard lock(m_mutex);
        m_wakeUp = std::move(wakeUp);
        pending = !m_queue.empty();
    }
    if (pending && m_wakeUp) {
        m_wakeUp();
    }
}

WindowHandle MessageLoop::Register(MessageHandler handler) {
    std::lock_guard lock(m_mutex);
    WindowHandle handle = m_nextHandle++;
    if (m_nextHandle == 0) {
        m_nextHandle = 1;
    }
    m_windows[handle] = std::make_shared<MessageHandler>(std::move(handler));
    return handle;
}

void MessageLoop::Unregister(WindowHandle window) {
    std::deque<std::shared_ptr<Item>> orphaned;
    {
        std::lock_guard lock(m_mutex);
        m_windows.erase(window);
        // Senders waiting on this window must not wait for ever.
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if (!(*it)->function && (*it)->message.window == window) {
                orphaned.push_back(*it);
                it = m_queue.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& item : orphaned) {
        item->Finish(0);
    }
}

bool MessageLoop::IsWindow(WindowHandle window) const {
    std::lock_guard lock(m_mutex);
    return m_windows.count(window) != 0;
}

MessageHandler MessageLoop::HandlerFor(WindowHandle window) const {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(window);
    return it == m_windows.end() ? MessageHandler{} : *it->second;
}

void MessageLoop::Enqueue(std::shared_ptr<Item> item) {
    std::function<void()> wakeUp;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(item));
        wakeUp = m_wakeUp;
    }
    if (wakeUp) {
        wakeUp();
    }
}

bool MessageLoop::Post(WindowHandle window, unsigned id, std::uintptr_t wParam,
                       std::intptr_t lParam, std::shared_ptr<void> payload) {
    if (!IsWindow(window)) {
        return false;
    }
    auto item = std::make_shared<Item>();
    item->message = Message{window, id, wParam, lParam, std::move(payload)};
    Enqueue(std::move(item));
    return true;
}

std::intptr_t MessageLoop::Send(WindowHandle window, unsigned id, std::uintptr_t wParam,
                                std::intptr_t lParam, std::shared_ptr<void> payload) {
    Message message{window, id, wParam, lParam, std::move(payload)};
    if (IsUiThread()) {
        MessageHandler handler = HandlerFor(window);
        return handler ? handler(message) : 0;
    }
    if (!IsWindow(window)) {
        return 0;
    }
    auto item = std::make_shared<Item>();
    item->message = std::move(message);
    Enqueue(item);
    std::unique_lock lock(item->mutex);
    item->doneChanged.wait(lock, [&] { return item->done; });
    return item->result;
}

void MessageLoop::Invoke(const std::function<void()>& function) {
    if (IsUiThread()) {
        function();
        return;
    }
    auto item = std::make_shared<Item>();
    item->function = function;
    Enqueue(item);
    std::unique_lock lock(item->mutex);
    item->doneChanged.wait(lock, [&] { return item->done; });
}

std::size_t MessageLoop::DrainPending() {
    std::deque<std::shared_ptr<Item>> batch;
    {
        std::lock_guard lock(m_mutex);
        batch.swap(m_queue);
    }
    for (auto& item : batch) {
        if (item->function) {
            item->function();
            item->Finish(0);
            continue;
        }
        MessageHandler handler = HandlerFor(item->message.window);
        item->Finish(handler ? handler(item->message) : 0);
    }
    return batch.size();
}

std::size_t MessageLoop::PendingCount() const {
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

} // namespace platform
