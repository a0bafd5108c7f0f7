#pragma once

// What every command of the command-line companion shares: the usage texts,
// the exit statuses, and opening the per-user catalogue the desktop program
// uses (copied from the installation's template when the user has none).

#include <iosfwd>
#include <string>
#include <vector>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitNoCatalogue = 2;
inline constexpr int kExitNotFound = 3;
inline constexpr int kExitInterrupted = 130;

struct CatalogueLocation {
    std::string catalogPath;
    std::string thumbnailDir;
};

// Settles the paths, makes a missing catalogue from the template and brings
// an old one up to date. False (with the reason in `error`) when it cannot
// be opened and read.
bool OpenUserCatalogue(CatalogueLocation& where, std::string& error);

int RunIndex(const std::vector<std::string>& args);
int RunSearch(const std::vector<std::string>& args);
int RunShow(const std::vector<std::string>& args);
int RunAlbums(const std::vector<std::string>& args);

// Reports a usage error with the command's usage text; returns kExitUsage.
int UsageError(const std::string& message, const char* usage);
// The catalogue could not be opened; returns kExitNoCatalogue.
int CatalogueError(const std::string& message);

extern const char kIndexUsage[];
extern const char kSearchUsage[];
extern const char kShowUsage[];
extern const char kAlbumsUsage[];

bool IsHelp(const std::string& arg);

// An absolute path without a trailing '/' (symbolic links resolved when it exists).
std::string AbsolutePath(const std::string& path);

} // namespace cli
