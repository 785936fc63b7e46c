// The rip's encoder workers: up to "jobs" tracks encoded at once while the disc read
// goes on, the largest waiting job first (so that a long track read late does not run
// alone at the end while other workers idle), equal ones in the order they came. A stop reaches
// every job: the running ones see it at their next piece, the queued ones as they start (they still
// run, to finish or remove their files). The workers run at a lower priority than the disc read,
// which never waits for them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace rip {

class EncoderPool {
  public:
    // A job gets the pool's stop flag, which it reads between pieces.
    using Job = std::function<void(const std::atomic<bool>& stop)>;

    EncoderPool() = default;
    // Stops every job and waits for the workers.
    ~EncoderPool();
    EncoderPool(const EncoderPool&) = delete;
    EncoderPool& operator=(const EncoderPool&) = delete;

    // How many jobs run at once (at least 1); applies to workers made from now on.
    void SetJobs(int jobs);
    // Queues a job of `size` (its work in any unit the jobs share); a worker is made
    // for it while fewer than "jobs" exist.
    void Submit(Job job, std::uint64_t size = 0);
    // Asks every running and queued job to stop; does not wait.
    void Stop() { stop_.store(true); }
    // Clears the stop for the next batch, once every job has ended.
    void ClearStop();
    // Jobs queued or running.
    int Pending() const;
    // Waits until no job is queued or running.
    void WaitIdle();

  private:
    // How much lower than the rip's other threads the workers run (a nice value).
    static constexpr int kEncoderNice = 10;
    void Work();

    mutable std::mutex mutex_;
    std::condition_variable wake_;  // workers: a job or the end; WaitIdle: a job ended
    std::deque<std::pair<std::uint64_t, Job>> queue_;
    int running_ = 0;
    int jobs_ = 1;
    bool closing_ = false;
    std::atomic<bool> stop_{false};
    std::vector<std::thread> workers_;
};

}  // namespace rip
