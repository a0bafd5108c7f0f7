#include "platform/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return fallback;
    }
    return value;
}

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<size_t>(n));
}

// Reads XDG_PICTURES_DIR="$HOME/Pictures" from user-dirs.dirs.
std::string UserDirFromConfig(const std::string& key) {
    std::ifstream in(JoinPath(ConfigHome(), "user-dirs.dirs"));
    std::string line;
    const std::string prefix = key + "=";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) != 0) {
            continue;
        }
        std::string value = line.substr(prefix.size());
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        if (value.rfind("$HOME", 0) == 0) {
            value = HomeDirectory() + value.substr(5);
        }
        if (value.empty() || value.front() != '/') {
            return {};
        }
        return value;
    }
    return {};
}

} // namespace

std::string ProgramDirectory() {
    std::string exe = ExecutablePath();
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return exe.substr(0, slash + 1);
}

std::string ExecutableBaseName() {
    std::string exe = ExecutablePath();
    size_t slash = exe.rfind('/');
    return slash == std::string::npos ? exe : exe.substr(slash + 1);
}

std::string HomeDirectory() {
    return EnvOr("HOME", "/");
}

std::string DataHome() {
    return EnvOr("XDG_DATA_HOME", JoinPath(HomeDirectory(), ".local/share"));
}

std::string ConfigHome() {
    return EnvOr("XDG_CONFIG_HOME", JoinPath(HomeDirectory(), ".config"));
}

std::string CacheHome() {
    return EnvOr("XDG_CACHE_HOME", JoinPath(HomeDirectory(), ".cache"));
}

std::string AppDataDirectory() {
    return JoinPath(DataHome(), "Orvanta");
}

std::string ConfigDirectory() {
    return JoinPath(ConfigHome(), "Orvanta");
}

std::string TempDirectory() {
    std::string dir = EnvOr("TMPDIR", "/tmp");
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

std::string PicturesDirectory() {
    std::string dir = UserDirFromConfig("XDG_PICTURES_DIR");
    return dir.empty() ? JoinPath(HomeDirectory(), "Pictures") : dir;
}

std::string DesktopDirectory() {
    std::string dir = UserDirFromConfig("XDG_DESKTOP_DIR");
    return dir.empty() ? JoinPath(HomeDirectory(), "Desktop") : dir;
}

bool PathExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsDirectory(path));
}

bool CreateDirectories(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1)) {
        std::string level = path.substr(0, pos);
        if (!IsDirectory(level) && !CreateDirectory(level)) {
            return false;
        }
    }
    return CreateDirectory(path);
}

bool SetWorkingDirectory(const std::string& path) {
    return ::chdir(path.c_str()) == 0;
}

bool CopyFileNoReplace(const std::string& from, const std::string& to) {
    if (PathExists(to)) {
        return false;
    }
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        return false;
    }
    const std::string temp = to + ".part" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << in.rdbuf();
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    // link() refuses an existing target, so a file that appeared meanwhile is kept.
    bool ok = ::link(temp.c_str(), to.c_str()) == 0;
    std::remove(temp.c_str());
    return ok;
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) {
        return name;
    }
    if (dir.back() == '/') {
        return dir + name;
    }
    return dir + "/" + name;
}

} // namespace platform
