#include "files/FileSystemEntry.h"

#include "files/FileObject.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

bool ReadFileSystemFacts(const std::string& path, FileSystemFacts& facts) {
    struct statx st;
    const unsigned mask =
        STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;
    if (statx(AT_FDCWD, path.c_str(), 0, mask, &st) != 0 &&
        statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, mask, &st) != 0) {
        return false;
    }
    const bool folder = S_ISDIR(st.stx_mode);
    facts.isFolder = folder;
    facts.isSystem = !folder && !S_ISREG(st.stx_mode) && !S_ISLNK(st.stx_mode);
    facts.isReadOnly = (st.stx_mode & 0222) == 0;
    facts.size = folder ? 0 : st.stx_size;
    facts.accessed = st.stx_atime.tv_sec;
    facts.modified = st.stx_mtime.tv_sec;
    facts.hasCreated = (st.stx_mask & STATX_BTIME) != 0;
    facts.created = facts.hasCreated ? st.stx_btime.tv_sec : st.stx_mtime.tv_sec;
    size_t slash = path.rfind('/');
    facts.isHidden = path.compare(slash == std::string::npos ? 0 : slash + 1, 1, ".") == 0;
    return true;
}

void ApplyFileSystemFacts(CFileObject& object, const std::string& name,
                          const FileSystemFacts& facts) {
    object.fileName = name;
    object.isfolder = facts.isFolder;
    object.SetHidden(facts.isHidden);
    object.SetSystem(facts.isSystem);
    object.SetReadOnly(facts.isReadOnly);
    object.SetSize(facts.size);
    object.SetCreated(DateTime::FromTimeT(static_cast<std::time_t>(facts.created)));
    object.SetAccessed(DateTime::FromTimeT(static_cast<std::time_t>(facts.accessed)));
    object.SetModified(DateTime::FromTimeT(static_cast<std::time_t>(facts.modified)));
}

bool EnumerateFolder(const std::string& folder,
                     const std::function<bool(const std::string&)>& visit) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return false;
    }
    while (dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        if (!visit(name)) {
            break;
        }
    }
    ::closedir(dir);
    return true;
}

std::string ChildPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}
