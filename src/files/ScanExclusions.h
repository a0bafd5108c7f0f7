#pragma once

// The folders the computer scan never enters: the program's own thumbnail
// cache and data, the system's folders, and the program's installation.

#include <string>
#include <vector>

// Read once per scan: the thumbnail cache, /proc, /sys, /dev, /run, /usr,
// /etc, /var, /boot, /snap, the program directory, $XDG_DATA_HOME,
// $XDG_CACHE_HOME and $XDG_CONFIG_HOME, each without a trailing '/'.
std::vector<std::string> ScanExclusions(const std::string& thumbnailDir);

bool IsExcludedFromScan(const std::vector<std::string>& exclusions, const std::string& folder);
