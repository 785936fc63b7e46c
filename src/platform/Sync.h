// Thread synchronisation objects with the semantics the rip engine and the player
// were designed around: a re-entrant lock, auto- and manual-reset events, a counting
// semaphore with a maximum, and a wait for whichever of several events is set first.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace platform {

// Time-out value meaning "wait for ever".
inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
// Result of WaitForAny when no event was set within the time-out.
inline constexpr int kWaitTimeout = -1;

// A lock the owning thread may take again while holding it.
class RecursiveLock {
  public:
    void Lock() { mutex_.lock(); }
    void Unlock() { mutex_.unlock(); }
    std::recursive_mutex& Native() { return mutex_; }

  private:
    std::recursive_mutex mutex_;
};

class Waiter;

// An event that is either set or not. An auto-reset event lets exactly one waiter
// through per Set and clears itself as it does; a manual-reset event stays set
// until Reset and releases every waiter.
class Event {
  public:
    enum class Reset { Auto, Manual };
    explicit Event(Reset mode = Reset::Auto, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void ResetEvent();
    // Waits at most timeoutMs (kInfinite: no limit). True when the event was set.
    bool Wait(std::uint32_t timeoutMs);
    // True when set; an auto-reset event is consumed by a successful test.
    bool TryWait();

  private:
    friend int WaitForAny(std::initializer_list<Event*> events, std::uint32_t timeoutMs);
    bool TryConsumeLocked();
    void AddWaiter(Waiter* w);
    void RemoveWaiter(Waiter* w);

    std::mutex mutex_;
    std::condition_variable cv_;
    bool set_;
    const Reset mode_;
    std::vector<Waiter*> waiters_;
};

// Waits until one of the events is set (consuming it if it is auto-reset) and
// returns its index in the list, or kWaitTimeout. Events earlier in the list win
// when several are set at once.
int WaitForAny(std::initializer_list<Event*> events, std::uint32_t timeoutMs);

// A counting semaphore whose count never exceeds its maximum.
class Semaphore {
  public:
    Semaphore(int initial, int maximum);
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // Takes one unit, waiting at most timeoutMs (0: just test). True when taken.
    bool Acquire(std::uint32_t timeoutMs);
    // Adds count units; refuses (returns false, changes nothing) past the maximum.
    bool Release(int count = 1);
    int Count();

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    int count_;
    const int maximum_;
};

// Milliseconds since an arbitrary fixed point; wraps like a 32-bit tick counter.
std::uint32_t TickCount();

}  // namespace platform
