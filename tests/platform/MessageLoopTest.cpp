#include "platform/MessageLoop.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using platform::Message;
using platform::MessageLoop;

TEST(MessageLoop, PostedMessagesArriveInOrderOnDrain) {
    MessageLoop& loop = MessageLoop::Instance();
    loop.SetUiThread();
    std::vector<std::uintptr_t> seen;
    auto window = loop.Register([&](const Message& m) {
        EXPECT_EQ(m.id, platform::kMsgItemReady);
        seen.push_back(m.wParam);
        return 0;
    });
    std::thread worker([&] {
        for (std::uintptr_t i = 0; i < 100; ++i) {
            EXPECT_TRUE(platform::PostMessage(window, platform::kMsgItemReady, i));
        }
    });
    worker.join();
    EXPECT_TRUE(seen.empty()) << "nothing is delivered before the UI thread drains";
    loop.DrainPending();
    ASSERT_EQ(seen.size(), 100u);
    for (std::uintptr_t i = 0; i < 100; ++i) {
        EXPECT_EQ(seen[i], i);
    }
    loop.Unregister(window);
}

TEST(MessageLoop, ADeadWindowSwallowsMessagesAndReleasesPayloads) {
    MessageLoop& loop = MessageLoop::Instance();
    loop.SetUiThread();
    int handled = 0;
    auto window = loop.Register([&](const Message&) { return ++handled; });
    auto payload = std::make_shared<std::string>("/photos/folder/");
    std::weak_ptr<std::string> watch = payload;
    EXPECT_TRUE(
        platform::PostMessage(window, platform::kMsgScanningFolder, 0, 0, std::move(payload)));
    loop.Unregister(window);
    EXPECT_FALSE(platform::PostMessage(window, platform::kMsgListingReady, 1));
    loop.DrainPending();
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(watch.expired());
    EXPECT_FALSE(platform::PostMessage(0, platform::kMsgListingReady, 1));
}

TEST(MessageLoop, SendFromAWorkerBlocksUntilHandled) {
    MessageLoop& loop = MessageLoop::Instance();
    loop.SetUiThread();
    auto window =
        loop.Register([](const Message& m) { return static_cast<std::intptr_t>(m.wParam * 2); });
    std::atomic<bool> returned{false};
    std::intptr_t result = 0;
    std::thread worker([&] {
        result = platform::SendMessage(window, 1, 21);
        returned = true;
    });
    while (loop.PendingCount() == 0) {
        std::this_thread::yield();
    }
    EXPECT_FALSE(returned.load());
    loop.DrainPending();
    worker.join();
    EXPECT_EQ(result, 42);
    EXPECT_EQ(platform::SendMessage(window, 1, 4), 8) << "on the UI thread the call is direct";
    loop.Unregister(window);
}

TEST(MessageLoop, SendToAWindowThatDiesReturnsZero) {
    MessageLoop& loop = MessageLoop::Instance();
    loop.SetUiThread();
    auto window = loop.Register([](const Message&) { return 1; });
    std::intptr_t result = -1;
    std::thread worker([&] { result = platform::SendMessage(window, 1); });
    while (loop.PendingCount() == 0) {
        std::this_thread::yield();
    }
    loop.Unregister(window);
    worker.join();
    EXPECT_EQ(result, 0);
}

TEST(MessageLoop, WakeUpIsCalledWhenWorkIsQueued) {
    MessageLoop& loop = MessageLoop::Instance();
    loop.SetUiThread();
    std::atomic<int> wakeUps{0};
    loop.SetWakeUp([&] { ++wakeUps; });
    auto window = loop.Register([](const Message&) { return 0; });
    platform::PostMessage(window, 1);
    EXPECT_EQ(wakeUps.load(), 1);
    loop.DrainPending();
    loop.SetWakeUp({});
    loop.Unregister(window);
}

TEST(MessageBox, WorkerCallsAreAnsweredOnTheUiThreadByTheScript) {
    MessageLoop& loop = MessageLoop::Instance();
    loop.SetUiThread();
    auto script = std::make_shared<platform::ScriptedMessageBoxes>();
    script->QueueAnswer(platform::MessageBoxAnswer::No);
    platform::SetMessageBoxPresenter(script);
    const auto uiThread = std::this_thread::get_id();
    std::thread::id presentedOn;
    struct Spy : platform::MessageBoxPresenter {
        std::shared_ptr<platform::ScriptedMessageBoxes> inner;
        std::thread::id* on;
        platform::MessageBoxAnswer Present(const platform::MessageBoxRequest& r) override {
            *on = std::this_thread::get_id();
            return inner->Present(r);
        }
    };
    auto spy = std::make_shared<Spy>();
    spy->inner = script;
    spy->on = &presentedOn;
    platform::SetMessageBoxPresenter(spy);

    platform::MessageBoxAnswer answer{};
    std::thread worker([&] {
        answer = platform::ShowMessageBox("Replace it?", platform::MessageBoxButtons::YesNo,
                                          platform::MessageBoxIcon::Question);
    });
    while (loop.PendingCount() == 0) {
        std::this_thread::yield();
    }
    loop.DrainPending();
    worker.join();
    EXPECT_EQ(answer, platform::MessageBoxAnswer::No);
    EXPECT_EQ(presentedOn, uiThread);
    ASSERT_EQ(script->Shown().size(), 1u);
    EXPECT_EQ(script->Shown()[0].text, "Replace it?");
    EXPECT_EQ(script->Shown()[0].caption, "Orvanta");
    platform::SetMessageBoxPresenter(nullptr);
}
