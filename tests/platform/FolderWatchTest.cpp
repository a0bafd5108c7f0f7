#include "platform/FolderWatch.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

using Wake = platform::FolderChangeWatch::Wake;
using namespace std::chrono_literals;

TEST(FolderWatch, ABurstOfChangesIsReportedOnceAndStopEndsTheWait) {
    testsupport::ScopedTestHome home;
    auto watch = platform::FolderChangeWatch::Open(home.Root());
    ASSERT_NE(watch, nullptr);
    std::thread writer([&] {
        for (int i = 0; i < 20; ++i) {
            testsupport::WriteFile(home.Root() + "/photo" + std::to_string(i) + ".jpg", "x");
        }
    });
    EXPECT_EQ(watch->Wait(100, 2000), Wake::Changed);
    writer.join();
    std::this_thread::sleep_for(150ms);

    std::thread stopper([&] {
        std::this_thread::sleep_for(20ms);
        watch->Stop();
    });
    // Whatever the burst left pending is reported first; then the stop.
    Wake next = watch->Wait(50, 200);
    if (next == Wake::Changed) {
        next = watch->Wait(50, 200);
    }
    EXPECT_EQ(next, Wake::Stopped);
    stopper.join();
}

TEST(FolderWatch, SubfoldersAreNotWatchedAndMissingFoldersCannotBe) {
    testsupport::ScopedTestHome home;
    std::filesystem::create_directories(home.Root() + "/sub");
    auto watch = platform::FolderChangeWatch::Open(home.Root());
    ASSERT_NE(watch, nullptr);
    testsupport::WriteFile(home.Root() + "/sub/inner.jpg", "x");
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        watch->Stop();
    });
    EXPECT_EQ(watch->Wait(), Wake::Stopped);
    stopper.join();

    EXPECT_EQ(platform::FolderChangeWatch::Open(home.Root() + "/missing"), nullptr);
    testsupport::WriteFile(home.Root() + "/file", "x");
    EXPECT_EQ(platform::FolderChangeWatch::Open(home.Root() + "/file"), nullptr);
}
