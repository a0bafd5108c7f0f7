#include "platform/Paths.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(Paths, FollowTheEnvironment) {
    testsupport::ScopedTestHome home;
    EXPECT_EQ(platform::AppDataDirectory(), home.DataHome() + "/Orvanta");
    EXPECT_EQ(platform::ConfigDirectory(), home.ConfigHome() + "/Orvanta");
    EXPECT_EQ(platform::TempDirectory(), home.Temp() + "/");
    EXPECT_EQ(platform::PicturesDirectory(), home.Home() + "/Pictures");

    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(platform::AppDataDirectory(), home.Home() + "/.local/share/Orvanta");
}

TEST(Paths, PicturesFolderComesFromUserDirs) {
    testsupport::ScopedTestHome home;
    ASSERT_TRUE(platform::CreateDirectories(home.ConfigHome()));
    testsupport::WriteFile(home.ConfigHome() + "/user-dirs.dirs",
                           "# comment\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    EXPECT_EQ(platform::PicturesDirectory(), home.Home() + "/Bilder");
}

TEST(Paths, ProgramDirectoryEndsWithASeparator) {
    std::string dir = platform::ProgramDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_TRUE(platform::IsDirectory(dir));
}

TEST(Paths, CreateDirectoryIsOneLevelAndCopyNeverReplaces) {
    testsupport::ScopedTestHome home;
    const std::string deep = home.Root() + "/a/b";
    EXPECT_FALSE(platform::CreateDirectory(deep));
    EXPECT_TRUE(platform::CreateDirectories(deep));
    EXPECT_TRUE(platform::CreateDirectory(deep)) << "an existing directory is fine";

    testsupport::WriteFile(deep + "/one", "first");
    testsupport::WriteFile(deep + "/two", "second");
    EXPECT_FALSE(platform::CopyFileNoReplace(deep + "/one", deep + "/two"));
    EXPECT_EQ(testsupport::ReadFile(deep + "/two"), "second");
    EXPECT_TRUE(platform::CopyFileNoReplace(deep + "/one", deep + "/three"));
    EXPECT_EQ(testsupport::ReadFile(deep + "/three"), "first");
    EXPECT_FALSE(platform::CopyFileNoReplace(deep + "/missing", deep + "/four"));
    EXPECT_FALSE(platform::PathExists(deep + "/four"));
}
