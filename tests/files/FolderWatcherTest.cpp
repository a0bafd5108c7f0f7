#include "files/FolderWatcher.h"

#include "platform/Messages.h"

#include "TestEnv.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

// Drains the message loop until `done` holds or two seconds pass.
template <class Done> bool DrainUntil(Done done) {
    for (int i = 0; i < 200 && !done(); ++i) {
        platform::MessageLoop::Instance().DrainPending();
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

} // namespace

TEST(FolderWatcher, PostsFolderChangedToTheWindowUntilStopped) {
    testsupport::ScopedTestHome home;
    platform::MessageLoop& loop = platform::MessageLoop::Instance();
    loop.SetUiThread();
    int changes = 0;
    auto window = loop.Register([&](const platform::Message& m) {
        EXPECT_EQ(m.id, platform::kMsgFolderChanged);
        EXPECT_EQ(m.wParam, 0u);
        ++changes;
        return 0;
    });

    CFolderWatcher watcher;
    watcher.Watch(home.Root() + "/", window);
    EXPECT_EQ(watcher.WatchedPath(), home.Root()) << "the trailing separator goes";
    testsupport::WriteFile(home.Root() + "/new.jpg", "x");
    EXPECT_TRUE(DrainUntil([&] { return changes > 0; }));

    watcher.Watch("", window);
    EXPECT_TRUE(watcher.WatchedPath().empty()) << "an empty path only stops";
    const int before = changes;
    loop.DrainPending();
    testsupport::WriteFile(home.Root() + "/after.jpg", "x");
    std::this_thread::sleep_for(300ms);
    loop.DrainPending();
    EXPECT_EQ(changes, before);

    watcher.Watch(home.Root() + "/missing", window);
    EXPECT_TRUE(watcher.WatchedPath().empty()) << "a folder that cannot be watched is given up";
    loop.Unregister(window);
}
