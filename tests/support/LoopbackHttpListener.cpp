#include "LoopbackHttpListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

LoopbackHttpListener::LoopbackHttpListener() {
    m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (m_socket < 0 ||
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_socket, 8) != 0) {
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    socklen_t length = sizeof address;
    ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

LoopbackHttpListener::~LoopbackHttpListener() {
    m_stop = true;
    m_thread.join();
    ::close(m_socket);
}

std::vector<std::string> LoopbackHttpListener::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void LoopbackHttpListener::Serve() {
    while (!m_stop) {
        pollfd waiting{m_socket, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) {
            continue;
        }
        int client = ::accept(m_socket, nullptr, nullptr);
        if (client < 0) {
            continue;
        }
        std::string head;
        char buffer[1024];
        while (head.find("\r\n\r\n") == std::string::npos) {
            pollfd readable{client, POLLIN, 0};
            if (::poll(&readable, 1, 2000) <= 0) {
                break;
            }
            ssize_t n = ::read(client, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            head.append(buffer, static_cast<size_t>(n));
        }
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(head.substr(0, head.find("\r\n\r\n")));
        }
        static const char kAnswer[] =
            "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        ssize_t ignored = ::write(client, kAnswer, sizeof kAnswer - 1);
        (void)ignored;
        ::close(client);
    }
}

} // namespace testsupport
