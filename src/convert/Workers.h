// A fixed number of threads working through one shared list.
#pragma once

#include <functional>

namespace convert {

// Runs work(slot) for slot 0..jobs-1 at once, slot 0 on the caller's thread, and
// returns when every call has returned. Each call takes its items from a list shared
// with the others (under the caller's own lock) until none is left.
void RunWorkers(int jobs, const std::function<void(int slot)>& work);

}  // namespace convert
