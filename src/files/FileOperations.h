#pragma once

// The file operations of the file list and the info bar: delete to the
// trash, rename, move or copy into a folder. Each keeps the catalogue, the
// live file objects and the thumbnail cache in step with the disk. Called
// on the user-interface thread, except MoveCoreWith (batch rename's worker).

#include "files/FileObject.h"

#include <string>

class CCatalog;
class CFileObjectRegistry;

inline constexpr char kReplaceQuestion[] =
    "A file already exists with that name.\nWould you like to replace it?";

// Removes the cache file of an image and the catalogue rows, then moves the
// file to the trash. Always 0.
int DeleteFile(CFileObjectRegistry& registry, const CFileObjectPtr& object);
// 1 on success; an existing file of the new name makes it fail.
int RenameFile(CFileObjectRegistry& registry, const CFileObjectPtr& object,
               const std::string& newName);
// Onto its own folder this copies instead. Asks before replacing a file.
int MoveFileTo(CFileObjectRegistry& registry, const CFileObjectPtr& object,
               const std::string& folder);
// Onto its own folder the copy is named "<name>- Copy<ext>", then
// "<name>- Copy(1)<ext>" and so on. Asks before replacing a file.
int CopyFileTo(CFileObjectRegistry& registry, const CFileObjectPtr& object,
               const std::string& folder);

int MoveCore(CFileObjectRegistry& registry, const CFileObjectPtr& object,
             const std::string& oldPath, const std::string& newPath, bool replace);
int MoveCoreWith(CFileObjectRegistry& registry, CCatalog& catalog, const CFileObjectPtr& object,
                 const std::string& oldPath, const std::string& newPath, bool replace);
void RelocateFileObject(CFileObjectRegistry& registry, const CFileObjectPtr& object,
                        const std::string& oldPath, const std::string& newPath);
