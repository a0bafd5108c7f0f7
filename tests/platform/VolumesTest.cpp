#include "platform/Volumes.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(Volumes, MountInfoGivesTheDrivesAndTheirKinds) {
    testsupport::ScopedTestHome home;
    // A fake /sys/class/block: entries are links into a device tree, as on a real system.
    const std::string sys = home.Root() + "/sys";
    const std::string devices = home.Root() + "/devices";
    fs::create_directories(devices + "/pci0000:00/virtio/block/vda");
    fs::create_directories(devices + "/pci0000:00/usb1/1-1/block/sdb/sdb1");
    fs::create_directories(devices + "/platform/sr/block/sdc/sdc1");
    testsupport::WriteFile(devices + "/pci0000:00/virtio/block/vda/removable", "0\n");
    testsupport::WriteFile(devices + "/pci0000:00/usb1/1-1/block/sdb/removable", "0\n");
    testsupport::WriteFile(devices + "/pci0000:00/usb1/1-1/block/sdb/sdb1/partition", "1\n");
    testsupport::WriteFile(devices + "/platform/sr/block/sdc/removable", "1\n");
    testsupport::WriteFile(devices + "/platform/sr/block/sdc/sdc1/partition", "1\n");
    fs::create_directories(sys);
    fs::create_directory_symlink(devices + "/pci0000:00/virtio/block/vda", sys + "/vda");
    fs::create_directory_symlink(devices + "/pci0000:00/usb1/1-1/block/sdb/sdb1", sys + "/sdb1");
    fs::create_directory_symlink(devices + "/platform/sr/block/sdc/sdc1", sys + "/sdc1");

    const std::string mountinfo = home.Root() + "/mountinfo";
    testsupport::WriteFile(
        mountinfo,
        "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
        "28 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
        "26 24 0:24 / /dev/shm rw,relatime - tmpfs tmpfs rw\n"
        "40 28 8:17 / /media/me/CANON\\040EOS rw,nosuid shared:1 master:2 - vfat /dev/sdb1 rw\n"
        "41 28 8:33 / /media/me/card rw - exfat /dev/sdc1 rw\n"
        "42 28 0:50 / /mnt/nas rw - nfs4 server:/photos rw\n"
        "43 28 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
        "44 28 254:0 /home/me/bound /srv/bound rw - ext4 /dev/vda rw\n"
        "garbage line\n");
    auto volumes = platform::ListVolumes(mountinfo, sys);
    ASSERT_EQ(volumes.size(), 5u);
    EXPECT_EQ(volumes[0].mountPoint, "/");
    EXPECT_TRUE(volumes[0].IsFixed());
    EXPECT_EQ(volumes[1].mountPoint, "/media/me/CANON EOS");
    EXPECT_TRUE(volumes[1].removable) << "on USB, though the disk does not say removable";
    EXPECT_EQ(volumes[2].mountPoint, "/media/me/card");
    EXPECT_TRUE(volumes[2].removable) << "its disk says removable";
    EXPECT_TRUE(volumes[3].network);
    EXPECT_FALSE(volumes[3].IsFixed());
    EXPECT_TRUE(volumes[4].optical);
}

TEST(Volumes, TheRealMachineHasARootVolume) {
    auto volumes = platform::ListVolumes();
    bool root = false;
    for (const auto& v : volumes) {
        root = root || v.mountPoint == "/";
        EXPECT_NE(v.fileSystem, "proc");
    }
    EXPECT_TRUE(root);
}

TEST(Volumes, MountFieldsUnescapeOctal) {
    EXPECT_EQ(platform::UnescapeMountField("a\\040b\\011c\\134d"), "a b\tc\\d");
    EXPECT_EQ(platform::UnescapeMountField("end\\04"), "end\\04");
}
