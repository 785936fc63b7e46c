// Events, the wait for one of several events, and the semaphore's maximum, with real
// threads where the behaviour depends on another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "platform/Sync.h"

using platform::Event;
using platform::kWaitTimeout;
using platform::Semaphore;
using platform::WaitForAny;

namespace {

// Waits until `condition` holds, at most `ms` milliseconds; false when it did not.
bool WaitUntil(const std::function<bool()>& condition, int ms = 5000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace

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
            if (e.Wait(10000)) ++through;
        });
    // Every wait below is bounded, and the waiters are joined whatever they saw.
    e.Set();
    EXPECT_TRUE(WaitUntil([&] { return through.load() >= 1; }));
    EXPECT_FALSE(WaitUntil([&] { return through.load() > 1; }, 100));  // one Set, one waiter
    e.Set();
    EXPECT_TRUE(WaitUntil([&] { return through.load() >= 2; }));
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
    // The setter sets "stop" only once the first wait has returned, so the order is fixed.
    Event stop(Event::Reset::Manual), data(Event::Reset::Auto), next(Event::Reset::Auto);
    std::thread setter([&] {
        data.Set();
        if (next.Wait(5000)) stop.Set();
    });
    EXPECT_EQ(WaitForAny({&stop, &data}, 5000), 1);
    next.Set();
    EXPECT_EQ(WaitForAny({&stop, &data}, 5000), 0);
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
    EXPECT_FALSE(s.Acquire(0));
    std::thread releaser([&] { s.Release(); });
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
    lock.Unlock();  // still held once
    EXPECT_FALSE(WaitUntil([&] { return other.load(); }, 100));
    lock.Unlock();
    t.join();
    EXPECT_TRUE(other.load());
}
