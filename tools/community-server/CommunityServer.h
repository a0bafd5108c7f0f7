#pragma once

// CommunityServer: the HTTP server that plays the program's outside services
// on 127.0.0.1. It owns the listening socket and the services registered on
// it; Run() blocks the calling thread until Stop() is called from another.

#include <httplib.h>

#include <functional>
#include <iosfwd>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace community {

constexpr const char* kLoopback = "127.0.0.1";

class Service {
public:
    virtual ~Service() = default;
    // Adds the service's routes; baseUrl is "http://127.0.0.1:<port>".
    virtual void Register(httplib::Server& server, const std::string& baseUrl) = 0;
};

class CommunityServer {
public:
    // Requests are logged to the stream, one line each: method, path, status.
    explicit CommunityServer(std::ostream& log);

    void AddService(std::unique_ptr<Service> service);

    // Binds to the loopback address; port 0 takes a free one. Returns the
    // port bound, or -1 when the address cannot be had.
    int Bind(int port);
    std::string BaseUrl() const;

    bool Run();
    void Stop();

private:
    std::ostream& m_log;
    std::mutex m_logMutex;
    httplib::Server m_server;
    std::vector<std::unique_ptr<Service>> m_services;
    int m_port = -1;
};

} // namespace community
