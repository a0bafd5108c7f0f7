#include "files/CachePaths.h"

#include <mutex>

namespace files {
namespace {

std::mutex g_mutex;
std::string g_thumbnailDir;

} // namespace

void SetThumbnailDir(const std::string& dir) {
    std::lock_guard lock(g_mutex);
    g_thumbnailDir = dir;
}

std::string GetThumbnailDir() {
    std::lock_guard lock(g_mutex);
    return g_thumbnailDir;
}

} // namespace files
