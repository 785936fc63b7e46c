#include "ui/NamesLookup.h"

#include "platform/WindowMessages.h"

namespace ui {

NamesLookup::~NamesLookup() {
    Cancel();
}

void NamesLookup::Start(names::NamesQuery query, QObject* receiver, Done done) {
    Cancel();
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    auto running = std::make_shared<std::atomic<bool>>(true);
    cancelled_ = cancelled;
    running_ = running;
    query.cancelled = [cancelled] { return cancelled->load(); };
    thread_ = std::thread([query = std::move(query), receiver, done = std::move(done), cancelled,
                           running]() mutable {
        names::NamesAnswer answer = names::FindDiscNames(query);
        running->store(false);
        if (cancelled->load()) return;
        platform::PostCall(
            receiver, [done = std::move(done), answer = std::move(answer), cancelled]() mutable {
                if (!cancelled->load()) done(std::move(answer));
            });
    });
}

void NamesLookup::Cancel() {
    if (cancelled_) cancelled_->store(true);
    if (thread_.joinable()) thread_.join();
}

bool NamesLookup::Running() const {
    return running_ && running_->load();
}

}  // namespace ui
