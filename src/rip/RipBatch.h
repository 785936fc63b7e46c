// One batch of tracks through the rip engine, for the rip dialog and the command line
// alike: which tracks are ripped and in which order, each track ended on its end
// report, failed and suspicious tracks counted and named, skipped data rows left out
// of the log, and the log written (after the AccurateRip lookup when asked). Audio
// hidden before track 1 is ripped as "Track 0" just ahead of track 1.
//
// Every call runs on the driver's thread. The engine reports a track's end to the
// driver's observer (on the reader thread); the driver brings that report to its own
// thread and answers with TrackDone there.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "cd/DiscSession.h"
#include "cd/TrackTable.h"
#include "rip/RipEngine.h"
#include "rip/RipLog.h"
#include "rip/RipObserver.h"

namespace rip {

// The tracks a batch may rip, in the batch's order.
class BatchRows {
  public:
    virtual ~BatchRows() = default;
    virtual int Count() const = 0;
    // Whether the track at `position` is ripped; asked when the batch reaches it.
    virtual bool Wanted(int position) const = 0;
    virtual cd::Track TrackAt(int position) const = 0;
};

class RipBatch {
  public:
    // The engine's tracks report to `observer`; all three outlive the batch.
    RipBatch(RipEngine& engine, BatchRows& rows, RipObserver& observer)
        : engine_(engine), rows_(rows), observer_(observer) {}
    // A track still pending is stopped and ended, so no thread reports to a driver
    // that is gone.
    ~RipBatch();
    RipBatch(const RipBatch&) = delete;
    RipBatch& operator=(const RipBatch&) = delete;

    // A new batch from the first track; the counts start again. Looks for audio hidden
    // before track 1 (read from the disc) and reads the setting "htoa".
    void Begin();
    // Starts the next wanted track. True when one is pending (its end report is still
    // to come), false when none is left. A track the engine refuses (a track that is
    // not the batch's own is still in it) fails, under its title, and the next is tried.
    bool StartNext();
    // After the pending track's end report: ends it in the engine and, with `count`,
    // counts its outcome (a skipped data row is none). Returns its end reason.
    std::int32_t TrackDone(bool count = true);
    // Stops the reading track and every encoder worker.
    void Stop() { engine_.Stop(); }
    // Tracks read whose encoding has not ended yet.
    int TracksEncoding() const { return engine_.TracksEncoding(); }
    // Once no track is pending: waits for the encoder workers (at once when none
    // runs) and counts a track whose encoding failed, or was stopped, as its reading
    // could not tell. Call before the end text and the log.
    void FinishEncoding();
    bool TrackPending() const { return pending_; }
    const RipEngine& Engine() const { return engine_; }
    // Whether a counted track that was stopped failed: the command line names a track
    // its interrupt stopped as failed; in the dialog a stop is the user's choice.
    void SetStopFails(bool fails) { stopFails_ = fails; }

    int Ripped() const { return ripped_; }
    // Whether the audio hidden before track 1 was taken into the batch as "Track 0": it
    // is, in the batch's format, when it is not digital silence, the batch reaches
    // track 1 and the setting "htoa" is 1.
    bool HiddenTrackStarted() const { return hiddenStarted_; }
    // What became of that audio, for the log and the terminal ("40 frames (00:00.40),
    // ripped as Track 0"); empty when the disc has none.
    std::string HiddenAudioText() const;
    // Titles of the failed and of the suspicious tracks, in the order they ended.
    const std::vector<std::string>& Failed() const { return failed_; }
    const std::vector<std::string>& Suspicious() const { return suspicious_; }

    // Leaves the skipped data rows out of the log; false when no track was tried
    // (the batch then has no log).
    bool HasLog();
    // The end of the batch: rip::FinishBatch over the engine's records (which fills in
    // info's CTDB verdict), with HiddenAudioText. Only uses the engine, so it may run on
    // a thread of its own while the driver waits.
    std::string WriteLog(BatchInfo& info, std::string& error,
                         const std::function<bool()>& cancelled = {});

  private:
    RipEngine& engine_;
    BatchRows& rows_;
    RipObserver& observer_;
    int next_ = 0;
    bool pending_ = false;
    bool stopFails_ = false;
    cd::Track current_;  // the pending track
    int ripped_ = 0;
    std::vector<std::string> failed_, suspicious_;
    cd::HiddenAudio hidden_;
    bool hiddenWanted_ = true;  // the setting "htoa"
    bool hiddenStarted_ = false;
};

}  // namespace rip
