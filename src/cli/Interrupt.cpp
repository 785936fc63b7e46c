#include "cli/Interrupt.h"

#include <atomic>
#include <csignal>

namespace cli {

namespace {

// Stored from the signal handler, which may run on any thread: a lock-free atomic is
// safe there.
std::atomic<int> g_requested{0};
static_assert(std::atomic<int>::is_always_lock_free);

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[std::size(kSignals)];

void OnSignal(int) {
    g_requested = 1;
}

}  // namespace

InterruptGuard::InterruptGuard() {
    g_requested = 0;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &action, &g_previous[i]);
}

InterruptGuard::~InterruptGuard() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        sigaction(kSignals[i], &g_previous[i], nullptr);
}

bool InterruptGuard::Requested() {
    return g_requested != 0;
}

}  // namespace cli
