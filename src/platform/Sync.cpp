#include "platform/Sync.h"

#include <algorithm>

namespace platform {

// One waiter of WaitForAny: every event it waits on notifies its condition
// variable when set, so the waiter re-tests all of them.
class Waiter {
  public:
    std::mutex mutex;
    std::condition_variable cv;
    bool poked = false;

    void Poke() {
        std::lock_guard<std::mutex> guard(mutex);
        poked = true;
        cv.notify_all();
    }
};

namespace {
template <class Cv, class Lock, class Pred>
bool WaitFor(Cv& cv, Lock& lock, std::uint32_t timeoutMs, Pred pred) {
    if (timeoutMs == kInfinite) {
        cv.wait(lock, pred);
        return true;
    }
    return cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
}
}  // namespace

Event::Event(Reset mode, bool initiallySet) : set_(initiallySet), mode_(mode) {}

Event::~Event() = default;

void Event::Set() {
    std::vector<Waiter*> toPoke;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        set_ = true;
        toPoke = waiters_;
        if (mode_ == Reset::Manual) {
            cv_.notify_all();
        } else {
            cv_.notify_one();
        }
        // Poke while still holding the lock: a waiter removes itself under this
        // lock before it is destroyed, so the pointers stay valid here.
        for (Waiter* w : toPoke) w->Poke();
    }
}

void Event::ResetEvent() {
    std::lock_guard<std::mutex> guard(mutex_);
    set_ = false;
}

bool Event::TryConsumeLocked() {
    if (!set_) return false;
    if (mode_ == Reset::Auto) set_ = false;
    return true;
}

bool Event::Wait(std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!WaitFor(cv_, lock, timeoutMs, [this] { return set_; })) return false;
    TryConsumeLocked();
    return true;
}

bool Event::TryWait() {
    std::lock_guard<std::mutex> guard(mutex_);
    return TryConsumeLocked();
}

void Event::AddWaiter(Waiter* w) {
    std::lock_guard<std::mutex> guard(mutex_);
    waiters_.push_back(w);
}

void Event::RemoveWaiter(Waiter* w) {
    std::lock_guard<std::mutex> guard(mutex_);
    waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), w), waiters_.end());
}

int WaitForAny(std::initializer_list<Event*> events, std::uint32_t timeoutMs) {
    auto tryAll = [&]() -> int {
        int index = 0;
        for (Event* e : events) {
            if (e && e->TryWait()) return index;
            ++index;
        }
        return kWaitTimeout;
    };
    int hit = tryAll();
    if (hit != kWaitTimeout || timeoutMs == 0) return hit;

    Waiter waiter;
    for (Event* e : events)
        if (e) e->AddWaiter(&waiter);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        hit = tryAll();
        if (hit != kWaitTimeout) break;
        std::unique_lock<std::mutex> lock(waiter.mutex);
        if (!waiter.poked) {
            if (timeoutMs == kInfinite) {
                waiter.cv.wait(lock, [&] { return waiter.poked; });
            } else if (!waiter.cv.wait_until(lock, deadline, [&] { return waiter.poked; })) {
                lock.unlock();
                hit = tryAll();
                break;
            }
        }
        waiter.poked = false;
    }
    for (Event* e : events)
        if (e) e->RemoveWaiter(&waiter);
    return hit;
}

Semaphore::Semaphore(int initial, int maximum) : count_(initial), maximum_(maximum) {}

bool Semaphore::Acquire(std::uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!WaitFor(cv_, lock, timeoutMs, [this] { return count_ > 0; })) return false;
    --count_;
    return true;
}

bool Semaphore::Release(int count) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (count <= 0 || count_ + count > maximum_) return false;
    count_ += count;
    cv_.notify_all();
    return true;
}

int Semaphore::Count() {
    std::lock_guard<std::mutex> guard(mutex_);
    return count_;
}

std::uint32_t TickCount() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace platform
