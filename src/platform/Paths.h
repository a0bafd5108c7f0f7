#pragma once

// Where the program and the user's data live. Every path is derived from the
// environment (HOME, XDG_*, TMPDIR) when asked, so tests can point them at
// temporary directories. Safe to call from any thread.

#include <string>

namespace platform {

// Directory of the running executable with a trailing '/', or "" when it is unknown.
std::string ProgramDirectory();

// Base name of the running executable ("orvanta"), or "" when it is unknown.
std::string ExecutableBaseName();

std::string HomeDirectory();

// $XDG_DATA_HOME, $XDG_CONFIG_HOME, $XDG_CACHE_HOME, or their defaults below HOME.
std::string DataHome();
std::string ConfigHome();
std::string CacheHome();

// The per-user local application data folder: DataHome() joined with "Orvanta".
std::string AppDataDirectory();

// The configuration folder: ConfigHome() joined with "Orvanta".
std::string ConfigDirectory();

// $TMPDIR (or /tmp), always ending in '/'.
std::string TempDirectory();

// The user's pictures and desktop folders from user-dirs.dirs, falling back
// to ~/Pictures and ~/Desktop.
std::string PicturesDirectory();
std::string DesktopDirectory();

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);

// One level, like the platform's directory creation: fails when the parent is missing.
bool CreateDirectory(const std::string& path);

// Creates every missing level.
bool CreateDirectories(const std::string& path);

bool SetWorkingDirectory(const std::string& path);

// Copies a file to a new name, never replacing an existing one. The copy is
// written beside the target under a temporary name and renamed into place, so
// a failed copy leaves no half-written target.
bool CopyFileNoReplace(const std::string& from, const std::string& to);

// Joins a directory and a name with exactly one '/' between them.
std::string JoinPath(const std::string& dir, const std::string& name);

} // namespace platform
