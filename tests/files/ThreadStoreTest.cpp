#include "files/ThreadStore.h"
#include "files/WhenZero.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Token = CThreadStore::Token;

namespace {

struct CountedToken : CThreadStore::CQuitThread {
    static inline std::atomic<int> alive{0};
    CountedToken() { ++alive; }
    ~CountedToken() override { --alive; }
};

} // namespace

TEST(ThreadStore, QuitAllFlagsEveryTokenAndForgetsIt) {
    CThreadStore store;
    Token a(new CountedToken), b(new CountedToken);
    store.Register(std::thread::id(), a);
    std::thread other([] {});
    store.Register(other.get_id(), b);
    other.join();
    EXPECT_EQ(a.UseCount(), 2);
    store.QuitAll();
    EXPECT_TRUE(store.IsEmpty());
    EXPECT_TRUE(a->ShouldQuit());
    EXPECT_TRUE(b->ShouldQuit());
    EXPECT_EQ(a.UseCount(), 1) << "the store let go of its handle";
    CThreadStore::UnregisterFromOwner(a); // no owner any more: nothing happens
}

TEST(ThreadStore, UnregisterRemovesOnlyThatJobAndTheLastHandleDeletesTheToken) {
    const int before = CountedToken::alive;
    {
        CThreadStore store;
        std::thread t1([] {}), t2([] {});
        Token first(new CountedToken), second(new CountedToken);
        store.Register(t1.get_id(), first);
        store.Register(t2.get_id(), second);
        t1.join();
        t2.join();
        CThreadStore::UnregisterFromOwner(first);
        EXPECT_EQ(first.UseCount(), 1);
        EXPECT_FALSE(first->ShouldQuit()) << "unregistering is not quitting";
        EXPECT_FALSE(store.IsEmpty());
        first.Reset();
        EXPECT_EQ(CountedToken::alive, before + 1);
    } // the store's destructor quits the rest
    EXPECT_EQ(CountedToken::alive, before);
}

TEST(WhenZero, EventsFollowTheTransitionsThroughZero) {
    CWhenZero<unsigned char> running;
    EXPECT_TRUE(running.IsZeroEvent().IsSet());
    EXPECT_FALSE(running.IsNonZeroEvent().IsSet());
    EXPECT_EQ(running.Increment(), 0);
    EXPECT_FALSE(running.IsZeroEvent().IsSet());
    EXPECT_TRUE(running.IsNonZeroEvent().IsSet());
    EXPECT_EQ(running.Increment(), 1);
    EXPECT_EQ(running.Decrement(), 2);
    EXPECT_FALSE(running.IsZeroEvent().IsSet());
    EXPECT_EQ(running.Decrement(), 1);
    EXPECT_TRUE(running.IsZeroEvent().IsSet());
    EXPECT_FALSE(running.IsNonZeroEvent().IsSet());
    EXPECT_EQ(running.Decrement(), 0);
    EXPECT_EQ(running.Value(), 255) << "8-bit unsigned arithmetic";
}

TEST(WhenZero, AWaiterWakesWhenTheLastJobEnds) {
    CWhenZero<unsigned char> running;
    std::vector<std::thread> jobs;
    for (int i = 0; i < 8; ++i) {
        running.Increment();
    }
    for (int i = 0; i < 8; ++i) {
        jobs.emplace_back([&, i] {
            std::this_thread::sleep_for(std::chrono::milliseconds(i));
            running.Decrement();
        });
    }
    EXPECT_TRUE(running.IsZeroEvent().Wait(10s));
    EXPECT_EQ(running.Value(), 0);
    for (auto& job : jobs) {
        job.join();
    }
}
