#pragma once

// A tiny HTTP listener on 127.0.0.1 for tests: answers every request with
// "200 OK" and an empty body, and keeps what it was sent.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class LoopbackHttpListener {
public:
    LoopbackHttpListener(); // binds a free port
    ~LoopbackHttpListener();
    LoopbackHttpListener(const LoopbackHttpListener&) = delete;
    LoopbackHttpListener& operator=(const LoopbackHttpListener&) = delete;

    int Port() const { return m_port; }
    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(m_port); }

    // The head of each request (request line and headers), in arrival order.
    std::vector<std::string> Requests() const;

private:
    void Serve();

    int m_socket = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

} // namespace testsupport
