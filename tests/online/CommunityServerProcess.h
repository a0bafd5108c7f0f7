#pragma once

// Runs the reference service (tools/community-server) for one test: starts
// it on a free loopback port with a data folder, reads the port it prints,
// and stops it when the object goes.

#include <string>
#include <sys/types.h>

namespace testsupport {

class CommunityServerProcess {
public:
    // The server's output goes to logPath; port 0 lets it take a free one.
    CommunityServerProcess(const std::string& dataDirectory, const std::string& logPath,
                           int port = 0);
    ~CommunityServerProcess();
    CommunityServerProcess(const CommunityServerProcess&) = delete;
    CommunityServerProcess& operator=(const CommunityServerProcess&) = delete;

    bool Started() const { return m_port > 0; }
    // The exit status when the server ended by itself before listening, else -1.
    int ExitStatus() const { return m_exitStatus; }
    int Port() const { return m_port; }
    std::string BaseUrl() const;
    // Everything the server printed so far.
    std::string Log() const;
    // Waits (a few seconds at most) until the log holds the text; the server
    // logs a request just after it answered it.
    bool WaitForLog(const std::string& text) const;

private:
    void Stop();

    std::string m_logPath;
    pid_t m_pid = -1;
    int m_port = -1;
    int m_exitStatus = -1;
};

struct HttpReply {
    long status = 0; // 0: no reply
    std::string body;
};

// A plain GET with libcurl, for checking what the server serves.
HttpReply HttpGet(const std::string& url);

} // namespace testsupport
