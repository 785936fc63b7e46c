#include "convert/Workers.h"

#include <system_error>
#include <thread>
#include <vector>

namespace convert {

void RunWorkers(int jobs, const std::function<void(int slot)>& work) {
    std::vector<std::thread> others;
    for (int slot = 1; slot < jobs; ++slot) {
        // A thread the system refuses leaves the work to the ones already running.
        try {
            others.emplace_back(work, slot);
        } catch (const std::system_error&) {
            break;
        }
    }
    work(0);
    for (std::thread& t : others) t.join();
}

}  // namespace convert
