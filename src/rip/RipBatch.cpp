#include "rip/RipBatch.h"

#include <algorithm>
#include <cstdio>

#include "core/Settings.h"

namespace rip {

namespace {

// The track the audio hidden before track 1 is ripped as: the frames from the disc's
// start to track 1's index 01.
cd::Track HiddenTrack(std::uint32_t frames) {
    cd::Track track;
    std::snprintf(track.entry.name, sizeof track.entry.name, "Track 0");
    track.entry.startLba = 0;
    track.entry.lengthFrames = frames;
    track.number = 0;
    track.title = "Track 0";
    return track;
}

}  // namespace

RipBatch::~RipBatch() {
    // Encoder workers report to the same observer: they end before it goes.
    if (pending_ || engine_.TracksEncoding() > 0) engine_.Stop();
    if (pending_) TrackDone(false);
    engine_.WaitForEncoders();
}

void RipBatch::FinishEncoding() {
    for (const TrackRecord* record : engine_.WaitForEncoders()) {
        // Counted as ripped (or suspicious) when its reading ended well; its encoding
        // decides after all.
        const auto suspicious = std::find(suspicious_.begin(), suspicious_.end(), record->title);
        if (suspicious != suspicious_.end())
            suspicious_.erase(suspicious);
        else
            --ripped_;
        if (record->endReason != kEndStopped || stopFails_) failed_.push_back(record->title);
    }
}

void RipBatch::Begin() {
    next_ = 0;
    ripped_ = 0;
    failed_.clear();
    suspicious_.clear();
    hidden_ = cd::ScanHiddenAudio(engine_.Session().cdHandle);
    hiddenWanted_ = core::ReadHiddenTrackSetting();
    hiddenStarted_ = false;
}

std::string RipBatch::HiddenAudioText() const {
    if (hidden_.frames == 0) return {};
    const std::uint32_t f = hidden_.frames;
    char text[64];
    std::snprintf(text, sizeof text, "%u frames (%02u:%02u.%02u)", f, f / 75 / 60, f / 75 % 60,
                  f % 75);
    const std::string frames = text;
    if (!hidden_.readable) return frames + " that could not be read, not ripped";
    if (hidden_.silent) return frames + " of digital silence, not ripped";
    if (hiddenStarted_) return frames + ", ripped as Track 0";
    if (!hiddenWanted_) return frames + ", not ripped (the setting \"htoa\" is 0)";
    return frames + ", not ripped (track 1 is not in the batch)";
}

bool RipBatch::StartNext() {
    while (next_ < rows_.Count()) {
        const int position = next_++;
        if (!rows_.Wanted(position)) continue;
        current_ = rows_.TrackAt(position);
        // The audio hidden before track 1 goes just ahead of it; track 1 comes next.
        if (current_.number == 1 && !hiddenStarted_ && hiddenWanted_ && hidden_.frames > 0 &&
            hidden_.readable && !hidden_.silent) {
            --next_;
            hiddenStarted_ = true;
            current_ = HiddenTrack(hidden_.frames);
        }
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
    info.hiddenAudio = HiddenAudioText();
    return FinishBatch(engine_, info, error, cancelled);
}

}  // namespace rip
