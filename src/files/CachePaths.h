#pragma once

// Where the thumbnail cache lives (thumbnails::CachePath names the file of
// an asset in it). Start-up sets the directory once before any other thread
// exists; any thread reads it.

#include <string>

namespace files {

void SetThumbnailDir(const std::string& dir);
std::string GetThumbnailDir();

} // namespace files
