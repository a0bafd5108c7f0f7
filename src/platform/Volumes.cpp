#include "platform/Volumes.h"

#include "platform/Paths.h"

#include <array>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

namespace platform {
namespace {

const std::set<std::string>& PseudoFileSystems() {
    static const std::set<std::string> kinds = {
        "autofs",      "binfmt_misc",     "bpf",       "cgroup",     "cgroup2",
        "configfs",    "debugfs",         "devpts",    "devtmpfs",   "efivarfs",
        "fusectl",     "hugetlbfs",       "mqueue",    "nsfs",       "overlay",
        "proc",        "pstore",          "ramfs",     "rpc_pipefs", "securityfs",
        "selinuxfs",   "squashfs",        "sysfs",     "tmpfs",      "tracefs",
        "fuse.portal", "fuse.gvfsd-fuse", "fuse.lxcfs"};
    return kinds;
}

bool IsNetworkFileSystem(const std::string& kind) {
    static const std::set<std::string> kinds = {"nfs", "nfs4", "cifs", "smb3",      "smbfs",
                                                "9p",  "afs",  "ceph", "glusterfs", "fuse.sshfs"};
    return kinds.count(kind) != 0;
}

bool IsOpticalFileSystem(const std::string& kind) {
    return kind == "iso9660" || kind == "udf";
}

std::string ReadFirstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

// A block device counts as removable when the kernel says so for it or its
// disk, or when it hangs off USB or an MMC card reader (external disks often
// do not set the flag).
bool IsRemovableDevice(const std::string& device, const std::string& sysBlockDir) {
    if (device.rfind("/dev/", 0) != 0) {
        return false;
    }
    std::string name = device.substr(5);
    const std::string entry = JoinPath(sysBlockDir, name);
    char resolved[PATH_MAX];
    if (realpath(entry.c_str(), resolved) == nullptr) {
        return false;
    }
    std::string devicePath = resolved;
    if (devicePath.find("/usb") != std::string::npos ||
        devicePath.find("/mmc") != std::string::npos) {
        return true;
    }
    if (ReadFirstLine(JoinPath(devicePath, "removable")) == "1") {
        return true;
    }
    // A partition: the disk above it carries the flag.
    if (PathExists(JoinPath(devicePath, "partition"))) {
        size_t slash = devicePath.rfind('/');
        return slash != std::string::npos &&
               ReadFirstLine(JoinPath(devicePath.substr(0, slash), "removable")) == "1";
    }
    return false;
}

bool IsOctal(char c) {
    return c >= '0' && c <= '7';
}

} // namespace

std::string UnescapeMountField(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
            IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                     (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

std::vector<Volume> ListVolumes(const std::string& mountInfoPath, const std::string& sysBlockDir) {
    std::vector<Volume> volumes;
    std::ifstream in(mountInfoPath);
    std::string line;
    while (std::getline(in, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super-options
        std::istringstream fields(line);
        std::string id, parent, numbers, root, mountPoint, options, word;
        if (!(fields >> id >> parent >> numbers >> root >> mountPoint >> options)) {
            continue;
        }
        while (fields >> word && word != "-") {
        }
        std::string kind, source;
        if (word != "-" || !(fields >> kind >> source)) {
            continue;
        }
        if (PseudoFileSystems().count(kind) != 0 || root != "/") {
            continue; // pseudo file systems, and bind mounts of a subfolder
        }
        Volume volume;
        volume.mountPoint = UnescapeMountField(mountPoint);
        volume.device = UnescapeMountField(source);
        volume.fileSystem = kind;
        volume.network = IsNetworkFileSystem(kind);
        volume.optical = IsOpticalFileSystem(kind);
        volume.removable = !volume.network && IsRemovableDevice(volume.device, sysBlockDir);
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

} // namespace platform
