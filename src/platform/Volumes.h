#pragma once

// The mounted file systems that stand for the computer's drives.

#include <string>
#include <vector>

namespace platform {

struct Volume {
    std::string mountPoint; // the drive's root
    std::string device;     // e.g. /dev/sda1
    std::string fileSystem; // e.g. ext4, vfat
    bool removable = false; // a removable block device, or one on USB or a card reader
    bool network = false;
    bool optical = false;

    bool IsFixed() const { return !removable && !network && !optical; }
};

// From /proc/self/mountinfo, pseudo and virtual file systems left out, in
// mount order. `mountInfoPath` and `sysBlockDir` are for tests.
std::vector<Volume> ListVolumes(const std::string& mountInfoPath = "/proc/self/mountinfo",
                                const std::string& sysBlockDir = "/sys/class/block");

// Decodes the octal escapes (\040 for a space) of a mountinfo field.
std::string UnescapeMountField(const std::string& field);

} // namespace platform
