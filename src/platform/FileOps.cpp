#include "platform/FileOps.h"

#include "platform/Paths.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform {
namespace {

bool SameDevice(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::lstat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

std::string ParentOf(const std::string& path) {
    size_t slash = path.find_last_of('/', path.size() > 1 ? path.size() - 2 : 0);
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') {
        trimmed.pop_back();
    }
    size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// Copy across file systems, then remove the source. The copy goes to a
// temporary name beside the target first, so a failure never leaves a
// partial target under the real name.
bool CopyThenRemove(const std::string& from, const std::string& to, bool replace) {
    const std::string temp = to + ".orvanta-move-" + std::to_string(::getpid());
    std::error_code error;
    fs::remove_all(temp, error);
    fs::copy(from, temp, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) {
        fs::remove_all(temp, error);
        return false;
    }
    if (!replace && PathExists(to)) {
        fs::remove_all(temp, error);
        return false;
    }
    if (std::rename(temp.c_str(), to.c_str()) != 0) {
        fs::remove_all(temp, error);
        return false;
    }
    fs::remove_all(from, error);
    return true;
}

std::string UrlEscape(std::string_view path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

// The mount point of the file system that holds `path`.
std::string TopDirectory(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        return {};
    }
    std::string current = path;
    while (current != "/") {
        const std::string parent = ParentOf(current);
        struct stat up;
        if (::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev) {
            break;
        }
        current = parent;
    }
    return current;
}

// Moves `path` into the trash folder `trash` (with files/ and info/ below),
// recording `recordedPath` in its .trashinfo.
bool TrashInto(const std::string& trash, const std::string& path, const std::string& recordedPath) {
    const std::string files = trash + "/files";
    const std::string info = trash + "/info";
    if (!CreateDirectories(files) || !CreateDirectories(info)) {
        return false;
    }
    const std::string base = BaseName(path);
    char when[32];
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%S", &local);
    for (int n = 1; n < 10000; ++n) {
        const std::string name = n == 1 ? base : base + "." + std::to_string(n);
        const std::string infoPath = info + "/" + name + ".trashinfo";
        // The info file reserves the name: created only when it is not there.
        int fd = ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        const std::string text =
            "[Trash Info]\nPath=" + UrlEscape(recordedPath) + "\nDeletionDate=" + when + "\n";
        const bool written =
            ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(fd);
        const std::string target = files + "/" + name;
        if (written && !PathExists(target) && std::rename(path.c_str(), target.c_str()) == 0) {
            return true;
        }
        std::remove(infoPath.c_str());
        if (!written || errno == EXDEV) {
            return false;
        }
    }
    return false;
}

} // namespace

bool MoveFileOrFolder(const std::string& from, const std::string& to, bool replace) {
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) {
        return false;
    }
    if (!replace && PathExists(to)) {
        return false;
    }
    if (replace && PathExists(to) && IsDirectory(to) != S_ISDIR(st.st_mode)) {
        return false; // a file never replaces a folder, nor the reverse
    }
    if (std::rename(from.c_str(), to.c_str()) == 0) {
        return true;
    }
    if (errno != EXDEV) {
        return false;
    }
    return CopyThenRemove(from, to, replace);
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
    const std::string temp = to + ".orvanta-copy-" + std::to_string(::getpid());
    std::error_code error;
    fs::copy_file(from, temp, fs::copy_options::overwrite_existing, error);
    if (error || std::rename(temp.c_str(), to.c_str()) != 0) {
        fs::remove(temp, error);
        return false;
    }
    return true;
}

std::string HomeTrashDirectory() {
    return JoinPath(DataHome(), "Trash");
}

bool MoveToTrash(const std::string& path) {
    std::string absolute = path;
    while (absolute.size() > 1 && absolute.back() == '/') {
        absolute.pop_back();
    }
    struct stat st;
    if (absolute.empty() || absolute.front() != '/' || ::lstat(absolute.c_str(), &st) != 0) {
        return false;
    }
    const std::string home = HomeTrashDirectory();
    CreateDirectories(home);
    if (SameDevice(absolute, home)) {
        return TrashInto(home, absolute, absolute);
    }
    // Another file system: its own trash, with the path relative to its top.
    const std::string top = TopDirectory(absolute);
    if (top.empty()) {
        return false;
    }
    const std::string uid = std::to_string(::getuid());
    std::string relative = absolute.substr(top == "/" ? 1 : top.size() + 1);
    const std::string shared = top + "/.Trash";
    struct stat sh;
    if (::lstat(shared.c_str(), &sh) == 0 && S_ISDIR(sh.st_mode) && (sh.st_mode & S_ISVTX) &&
        TrashInto(shared + "/" + uid, absolute, relative)) {
        return true;
    }
    return TrashInto(top + "/.Trash-" + uid, absolute, relative);
}

} // namespace platform
