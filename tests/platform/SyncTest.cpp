// Events, the wait for one of several events, and the semaphore's maximum, with real
// threads where the behaviour depends on another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Sync.h"

using platform::Event;
using platform::kWaitTimeout;
using platform::Semaphore;
using platform::WaitForAny;

TEST(Event, AutoResetLetsOneWaiterThroughPerSet) {
    Event e(Event::Reset::Auto);
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    e.Set();  // setting a set event does not count twice
    EXPECT_TRUE(e.TryWait());
    EXPECT_FALSE(e.TryWait());

    std::atomic<int> through{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (e.Wait(2000)) ++through;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    e.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(through.load(), 1);
    e.Set();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    e.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(through.load(), 3);
    EXPECT_FALSE(e.TryWait());  // every Set was consumed by its waiter
}

TEST(Event, ManualResetReleasesEveryWaiterUntilReset) {
    Event e(Event::Reset::Manual);
    std::atomic<int> through{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (e.Wait(platform::kInfinite)) ++through;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    e.Set();
    for (auto& t : waiters) t.join();
    EXPECT_EQ(through.load(), 3);
    EXPECT_TRUE(e.TryWait());
    EXPECT_TRUE(e.TryWait());  // still set
    e.ResetEvent();
    EXPECT_FALSE(e.Wait(10));
}

TEST(WaitForAny, ReturnsTheFirstSetEventAndConsumesOnlyIt) {
    Event a(Event::Reset::Auto), b(Event::Reset::Auto), m(Event::Reset::Manual);
    EXPECT_EQ(WaitForAny({&a, &b}, 0), kWaitTimeout);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForAny({&a, &b}, 60), kWaitTimeout);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(55));

    a.Set();
    b.Set();
    EXPECT_EQ(WaitForAny({&a, &b}, 0), 0);  // the earlier one wins
    EXPECT_EQ(WaitForAny({&a, &b}, 0), 1);  // a was consumed, b still set
    EXPECT_EQ(WaitForAny({&a, &b}, 0), kWaitTimeout);

    m.Set();
    EXPECT_EQ(WaitForAny({&a, &m}, 0), 1);
    EXPECT_EQ(WaitForAny({&a, &m}, 0), 1);  // a manual event stays set
}

TEST(WaitForAny, WakesWhenAnotherThreadSetsAnEvent) {
    Event stop(Event::Reset::Manual), data(Event::Reset::Auto);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        data.Set();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        stop.Set();
    });
    EXPECT_EQ(WaitForAny({&stop, &data}, 5000), 1);
    EXPECT_EQ(WaitForAny({&stop, &data}, platform::kInfinite), 0);
    setter.join();
}

TEST(Semaphore, CountNeverPassesItsMaximum) {
    Semaphore s(1, 2);
    EXPECT_TRUE(s.Release());
    EXPECT_FALSE(s.Release());  // would make 3
    EXPECT_FALSE(s.Release(0));
    EXPECT_EQ(s.Count(), 2);
    EXPECT_TRUE(s.Acquire(0));
    EXPECT_TRUE(s.Acquire(0));
    EXPECT_FALSE(s.Acquire(20));
    EXPECT_FALSE(s.Release(3));
    EXPECT_TRUE(s.Release(2));
    EXPECT_EQ(s.Count(), 2);
}

TEST(Semaphore, AcquireWaitsForARelease) {
    Semaphore s(0, 4);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        s.Release();
    });
    EXPECT_TRUE(s.Acquire(5000));
    releaser.join();
    EXPECT_EQ(s.Count(), 0);
}

TEST(RecursiveLock, TheOwnerMayTakeItAgain) {
    platform::RecursiveLock lock;
    lock.Lock();
    lock.Lock();
    std::atomic<bool> other{false};
    std::thread t([&] {
        lock.Lock();
        other = true;
        lock.Unlock();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    lock.Unlock();
    EXPECT_FALSE(other.load());
    lock.Unlock();
    t.join();
    EXPECT_TRUE(other.load());
}
