#include "rip/RipBatch.h"

namespace rip {

RipBatch::~RipBatch() {
    if (!pending_) return;
    engine_.Stop();
    TrackDone(false);
}

void RipBatch::Begin() {
    next_ = 0;
    ripped_ = 0;
    failed_.clear();
    suspicious_.clear();
}

bool RipBatch::StartNext() {
    while (next_ < rows_.Count()) {
        const int position = next_++;
        if (!rows_.Wanted(position)) continue;
        current_ = rows_.TrackAt(position);
        const bool started = engine_.StartTrack(observer_, &current_);
        // A track that could not run still reports its end; only a track of someone
        // else still in the engine refuses without one.
        if (started || !engine_.TrackInProgress()) {
            pending_ = true;
            return true;
        }
        failed_.push_back(current_.title);
    }
    return false;
}

std::int32_t RipBatch::TrackDone(bool count) {
    if (!pending_) return kEndRunning;
    pending_ = false;
    const std::int32_t reason = engine_.LastEndReason();
    engine_.EndTrack();
    if (!count) return reason;
    if (reason == kEndRunning && engine_.LastProof().suspicious)
        suspicious_.push_back(current_.title);
    else if (reason == kEndRunning)
        ++ripped_;
    else if (reason != kEndDataTrack && (reason != kEndStopped || stopFails_))
        failed_.push_back(current_.title);
    return reason;
}

bool RipBatch::HasLog() {
    std::erase_if(engine_.BatchRecords(),
                  [](const TrackRecord& t) { return t.endReason == kEndDataTrack; });
    return !engine_.BatchRecords().empty();
}

std::string RipBatch::WriteLog(BatchInfo& info, std::string& error,
                               const std::function<bool()>& cancelled) {
    return FinishBatch(engine_, info, error, cancelled);
}

}  // namespace rip
