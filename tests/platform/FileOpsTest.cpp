#include "platform/FileOps.h"

#include "platform/Paths.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

bool OnSameFileSystem(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

} // namespace

TEST(FileOps, TrashKeepsTheFileAndRecordsWhereItCameFrom) {
    testsupport::ScopedTestHome home;
    const std::string photo = home.Home() + "/Pictures/Bob's party #1.jpg";
    fs::create_directories(home.Home() + "/Pictures");
    testsupport::WriteFile(photo, "jpeg");
    testsupport::WriteFile(photo + ".2", "other");
    ASSERT_TRUE(platform::MoveToTrash(photo));
    EXPECT_FALSE(platform::PathExists(photo));
    const std::string trash = platform::HomeTrashDirectory();
    EXPECT_EQ(testsupport::ReadFile(trash + "/files/Bob's party #1.jpg"), "jpeg");
    const std::string info = testsupport::ReadFile(trash + "/info/Bob's party #1.jpg.trashinfo");
    EXPECT_NE(
        info.find("[Trash Info]\nPath=" + home.Home() + "/Pictures/Bob%27s%20party%20%231.jpg\n"),
        std::string::npos)
        << info;
    EXPECT_NE(info.find("DeletionDate="), std::string::npos);

    // A second file of the same name gets a name of its own in the trash.
    testsupport::WriteFile(photo, "again");
    ASSERT_TRUE(platform::MoveToTrash(photo));
    EXPECT_EQ(testsupport::ReadFile(trash + "/files/Bob's party #1.jpg.2"), "again");
    EXPECT_EQ(testsupport::ReadFile(photo + ".2"), "other");

    EXPECT_FALSE(platform::MoveToTrash(home.Root() + "/missing.jpg"));
    EXPECT_FALSE(platform::MoveToTrash("relative.jpg"));
}

TEST(FileOps, MovesRefuseToReplaceUnlessAskedAndCrossFileSystems) {
    testsupport::ScopedTestHome home;
    const std::string a = home.Root() + "/a.jpg", b = home.Root() + "/b.jpg";
    testsupport::WriteFile(a, "A");
    testsupport::WriteFile(b, "B");
    EXPECT_FALSE(platform::MoveFileOrFolder(a, b, false));
    EXPECT_EQ(testsupport::ReadFile(b), "B");
    EXPECT_TRUE(platform::MoveFileOrFolder(a, b, true));
    EXPECT_EQ(testsupport::ReadFile(b), "A");
    EXPECT_FALSE(platform::PathExists(a));

    // A folder with its content onto another file system, when there is one.
    const std::string other = "/tmp/orvanta-move-" + std::to_string(::getpid());
    if (OnSameFileSystem(home.Root(), "/tmp")) {
        GTEST_SKIP() << "no second file system to move across";
    }
    fs::create_directories(home.Root() + "/trip/day1");
    testsupport::WriteFile(home.Root() + "/trip/day1/x.jpg", "X");
    ASSERT_TRUE(platform::MoveFileOrFolder(home.Root() + "/trip", other, false));
    EXPECT_EQ(testsupport::ReadFile(other + "/day1/x.jpg"), "X");
    EXPECT_FALSE(platform::PathExists(home.Root() + "/trip"));
    fs::remove_all(other);
}

TEST(FileOps, ACopyReplacesOnlyWhenComplete) {
    testsupport::ScopedTestHome home;
    const std::string a = home.Root() + "/a.jpg", b = home.Root() + "/b.jpg";
    testsupport::WriteFile(a, "new");
    testsupport::WriteFile(b, "old");
    EXPECT_TRUE(platform::CopyFileReplacing(a, b));
    EXPECT_EQ(testsupport::ReadFile(b), "new");
    EXPECT_FALSE(platform::CopyFileReplacing(home.Root() + "/missing", b));
    EXPECT_EQ(testsupport::ReadFile(b), "new") << "a failed copy leaves the target";
    EXPECT_EQ(std::distance(fs::directory_iterator(home.Root()), fs::directory_iterator()), 4)
        << "no temporary file is left (a, b, home, tmp)";
}
