#pragma once

// Where the thumbnail cache lives: one PNG per picture asset, named after
// its asset id. Start-up sets the directory once before any other thread
// exists; any thread reads it.

#include <cstdint>
#include <string>

namespace files {

void SetThumbnailDir(const std::string& dir);
std::string GetThumbnailDir();

// <thumbnail directory>/<asset id>.png
std::string ThumbnailCacheFile(std::int32_t assetId);

} // namespace files
