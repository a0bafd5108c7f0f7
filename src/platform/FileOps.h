#pragma once

// Moving, copying and trashing files and folders. Any thread.

#include <string>

namespace platform {

// Renames in place, or across file systems copies (a folder with all it
// holds) and then removes the source. A failed copy removes what it wrote
// and leaves the source as it was. Without `replace` an existing target
// makes the move fail.
bool MoveFileOrFolder(const std::string& from, const std::string& to, bool replace);

// Copies a file, replacing an existing target only once the copy is
// complete (written beside it and renamed into place).
bool CopyFileReplacing(const std::string& from, const std::string& to);

// Moves a file or folder to the desktop's trash: the home trash when it is
// on the same file system, else the volume's own trash folder. False (and
// the file left where it is) when there is no trash to move it to.
bool MoveToTrash(const std::string& path);

// The home trash folder: $XDG_DATA_HOME/Trash.
std::string HomeTrashDirectory();

} // namespace platform
