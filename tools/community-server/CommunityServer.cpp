#include "CommunityServer.h"

#include <ostream>

#include <sys/socket.h>

namespace community {

CommunityServer::CommunityServer(std::ostream& log) : m_log(log) {
    // The library's default also sets SO_REUSEPORT, which lets a second
    // server share a port that is in use; a taken port must fail instead.
    m_server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    m_server.set_logger([this](const httplib::Request& request, const httplib::Response& response) {
        std::lock_guard lock(m_logMutex);
        m_log << request.method << ' ' << request.path << ' ' << response.status << std::endl;
    });
}

void CommunityServer::AddService(std::unique_ptr<Service> service) {
    m_services.push_back(std::move(service));
}

int CommunityServer::Bind(int port) {
    if (port == 0) {
        m_port = m_server.bind_to_any_port(kLoopback);
    } else {
        m_port = m_server.bind_to_port(kLoopback, port) ? port : -1;
    }
    if (m_port <= 0) {
        m_port = -1;
        return -1;
    }
    for (const auto& service : m_services) {
        service->Register(m_server, BaseUrl());
    }
    return m_port;
}

std::string CommunityServer::BaseUrl() const {
    return "http://" + std::string(kLoopback) + ":" + std::to_string(m_port);
}

bool CommunityServer::Run() {
    return m_port > 0 && m_server.listen_after_bind();
}

void CommunityServer::Stop() {
    m_server.stop();
}

} // namespace community
