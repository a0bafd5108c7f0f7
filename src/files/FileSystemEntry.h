#pragma once

// Reading a directory for the listing jobs: the entries of one folder and
// the file-system facts a file object carries. Any thread.

#include <cstdint>
#include <functional>
#include <string>

class CFileObject;

struct FileSystemFacts {
    bool isFolder = false;
    bool isHidden = false; // a name beginning with '.'
    bool isSystem = false; // neither a regular file nor a folder (device, socket, pipe)
    bool isReadOnly = false;
    std::uint64_t size = 0;                               // 0 for folders
    std::int64_t created = 0, accessed = 0, modified = 0; // seconds since the epoch
    bool hasCreated = false;
};

// Follows a symbolic link; a broken or looping link is described as itself.
// False when nothing is there any more.
bool ReadFileSystemFacts(const std::string& path, FileSystemFacts& facts);

// Sets file name, attributes, size and the three times (local time).
void ApplyFileSystemFacts(CFileObject& object, const std::string& name,
                          const FileSystemFacts& facts);

// Calls `visit` with each entry name of the folder other than "." and "..",
// in the order the file system returns them, until it returns false. False
// when the folder cannot be read.
bool EnumerateFolder(const std::string& folder,
                     const std::function<bool(const std::string&)>& visit);

// folder + "/" + name, with exactly one separator.
std::string ChildPath(const std::string& folder, const std::string& name);
