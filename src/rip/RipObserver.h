// What the rip engine reports about a track to whoever drives it: its file, its
// progress, its end and its record for the log. The engine calls from its own
// threads, as each call says; an observer that shows the reports in a window hands
// them to the window's thread. An observer given to StartTrack must live until the
// track's EndTrack has returned.
#pragma once

#include <cstdint>
#include <string>

namespace rip {

struct TrackRecord;

class RipObserver {
  public:
    virtual ~RipObserver() = default;

    // On StartTrack's thread, first thing for a track that has an entry: the name of
    // its file without the folder (for example "Track 1.wav").
    virtual void TrackFile(const std::string& fileName) = 0;
    // On StartTrack's thread, just before the reader and writer threads start: the
    // track's work in bytes of disc audio (kFrameBytes a frame; both passes of a
    // verified track). Progress starts again from 0.
    virtual void TrackBegun(std::uint64_t totalBytes) = 0;
    // On the reader thread (the test pass of a verified track) or on the writer
    // thread (the copy pass), one after the other, never both at once: `doneBytes`
    // of `totalBytes` are done.
    virtual void TrackProgress(std::uint64_t doneBytes, std::uint64_t totalBytes) = 0;
    // Once for every StartTrack that did not refuse the track: on the reader thread
    // when the threads ran (after the writer has finished the file), on StartTrack's
    // own thread when the track could not start. The driver answers with EndTrack on
    // its own thread; `reason` is the RipEndReason.
    virtual void TrackEnded(std::int32_t reason) = 0;
    // On EndTrack's thread: the track as the batch's log will hold it.
    virtual void TrackRecorded(const TrackRecord& record) { (void)record; }
    // An encoded track's audio waits for or is in an encoder worker while the disc
    // read goes on: `count` tracks are still being encoded. Called on the writer
    // thread when a track is handed over and on an encoder worker's thread when one
    // ends; the last call of a batch says 0.
    virtual void TracksEncoding(int count) { (void)count; }
};

}  // namespace rip
