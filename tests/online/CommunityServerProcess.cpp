#include "CommunityServerProcess.h"

#include "TestEnv.h"

#include <curl/curl.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {
namespace {

constexpr const char* kListening = "Listening on http://127.0.0.1:";

bool WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

size_t AppendBody(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

} // namespace

CommunityServerProcess::CommunityServerProcess(const std::string& dataDirectory,
                                               const std::string& logPath, int port)
    : m_logPath(logPath) {
    const std::string program = BinDir() + "/orvanta-community-server";
    std::vector<std::string> args{program, "--port", std::to_string(port), "--data", dataDirectory};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int spawned =
        posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        m_pid = -1;
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string log = Log();
        const std::size_t at = log.find(kListening);
        const std::size_t lineEnd = log.find('\n', at);
        if (at != std::string::npos && lineEnd != std::string::npos) {
            m_port = std::stoi(log.substr(at + std::string(kListening).size()));
            return;
        }
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1; // it ended without listening
            m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

CommunityServerProcess::~CommunityServerProcess() {
    Stop();
}

void CommunityServerProcess::Stop() {
    if (m_pid <= 0) {
        return;
    }
    kill(m_pid, SIGTERM);
    if (!WaitForExit(m_pid, std::chrono::seconds(5))) {
        kill(m_pid, SIGKILL);
        WaitForExit(m_pid, std::chrono::seconds(5));
    }
    m_pid = -1;
}

std::string CommunityServerProcess::BaseUrl() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::string CommunityServerProcess::Log() const {
    return ReadFile(m_logPath);
}

bool CommunityServerProcess::WaitForLog(const std::string& text) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Log().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

HttpReply HttpGet(const std::string& url) {
    HttpReply reply;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return reply;
    }
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    if (curl_easy_perform(curl) == CURLE_OK) {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    }
    curl_easy_cleanup(curl);
    return reply;
}

} // namespace testsupport
