#include "files/ScanExclusions.h"

#include "platform/Paths.h"

#include <algorithm>

namespace {

std::string Trimmed(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

} // namespace

std::vector<std::string> ScanExclusions(const std::string& thumbnailDir) {
    std::vector<std::string> folders = {"/proc", "/sys", "/dev",  "/run", "/usr",
                                        "/etc",  "/var", "/boot", "/snap"};
    for (const std::string& folder :
         {thumbnailDir, platform::ProgramDirectory(), platform::DataHome(), platform::CacheHome(),
          platform::ConfigHome()}) {
        if (!folder.empty()) {
            folders.push_back(Trimmed(folder));
        }
    }
    return folders;
}

bool IsExcludedFromScan(const std::vector<std::string>& exclusions, const std::string& folder) {
    const std::string path = Trimmed(folder);
    return std::find(exclusions.begin(), exclusions.end(), path) != exclusions.end();
}
