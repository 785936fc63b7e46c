#include "rip/EncoderPool.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace rip {

EncoderPool::~EncoderPool() {
    stop_.store(true);
    {
        std::lock_guard<std::mutex> guard(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
}

void EncoderPool::SetJobs(int jobs) {
    std::lock_guard<std::mutex> guard(mutex_);
    jobs_ = std::max(1, jobs);
}

void EncoderPool::Submit(Job job, std::uint64_t size) {
    std::unique_lock<std::mutex> lock(mutex_);
    queue_.emplace_back(size, std::move(job));
    // The jobs queued beyond the idle workers need workers of their own, up to "jobs".
    const int idle = static_cast<int>(workers_.size()) - running_;
    if (static_cast<int>(queue_.size()) > idle && static_cast<int>(workers_.size()) < jobs_) {
        try {
            workers_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            // The workers already there take the job; with none, it runs here.
            if (workers_.empty()) {
                Job now = std::move(queue_.back().second);
                queue_.pop_back();
                lock.unlock();
                now(stop_);
                return;
            }
        }
    }
    wake_.notify_all();
}

void EncoderPool::ClearStop() {
    WaitIdle();
    stop_.store(false);
}

int EncoderPool::Pending() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<int>(queue_.size()) + running_;
}

void EncoderPool::WaitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
}

void EncoderPool::Work() {
#ifdef __linux__
    // Encoders give way to the disc read and its writer, which must never wait for
    // them; on a busy machine they take what the read leaves. Linux applies a nice
    // value to the one thread named.
    const auto self = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, self);
    if (errno == 0) setpriority(PRIO_PROCESS, self, std::min(nice + kEncoderNice, 19));
#endif
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
        if (queue_.empty()) return;  // closing, nothing left to end
        const auto largest =
            std::max_element(queue_.begin(), queue_.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
        Job job = std::move(largest->second);
        queue_.erase(largest);
        ++running_;
        lock.unlock();
        job(stop_);
        job = nullptr;
        lock.lock();
        --running_;
        wake_.notify_all();
    }
}

}  // namespace rip
