#include "platform/Event.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;

TEST(Event, AutoResetReleasesOneWaitManualResetStaysSet) {
    platform::Event autoEvent(false);
    EXPECT_FALSE(autoEvent.Wait(1ms));
    autoEvent.Set();
    EXPECT_TRUE(autoEvent.Wait(1ms));
    EXPECT_FALSE(autoEvent.Wait(1ms)) << "the wait reset it";

    platform::Event manual(true);
    manual.Set();
    EXPECT_TRUE(manual.Wait(1ms));
    EXPECT_TRUE(manual.Wait(1ms));
    manual.Reset();
    EXPECT_FALSE(manual.IsSet());
}

TEST(Event, WakesAWaiterOnAnotherThread) {
    platform::Event event(true);
    std::thread setter([&] {
        std::this_thread::sleep_for(5ms);
        event.Set();
    });
    EXPECT_TRUE(event.Wait(5s));
    setter.join();
}
