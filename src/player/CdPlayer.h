// The CD player: plays one range of the disc (a track) through the default sound
// device. A player thread reads the disc in blocks of 25 frames and queues them, as
// they are, to a 16-bit stereo 44100 Hz output stream; at most two blocks wait in
// the device while the third is read. At the end of the range, or when the drive
// fails, the thread posts WM_PLAY_END to the main window.
//
// Every operation is called on the user-interface thread. The player owns its stream
// (thread, device and buffers); the program makes one player, since a sound device
// plays one stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cd/TrackTable.h"

#include "core/Messages.h"
#include "platform/WindowMessages.h"

namespace player {

struct PlayerStream;

class CdPlayer {
  public:
    CdPlayer();
    // Stops a stream still running.
    ~CdPlayer();
    CdPlayer(const CdPlayer&) = delete;
    CdPlayer& operator=(const CdPlayer&) = delete;

    // The CD handle the player reads from and the window that gets WM_PLAY_END. Both
    // are taken by the next stream that starts.
    void SetCdHandle(std::uint32_t handle) { cdHandle_ = handle; }
    void SetMainWindow(platform::WindowHandle window) { mainWindow_ = window; }

    // Chooses the range to play by the track's number on the disc (7 plays track 7):
    // reads the table of contents again, builds the track table from it as the list
    // does and takes the track's start and length from its entry. A data track, a
    // track the disc does not hold, or a failed read leaves the previous range.
    void SelectTrack(int trackNumber);
    // The length in whole seconds of the n-th row (from 1) of the track table last
    // read; 0 outside it. Returns 1.
    int GetTrackLength(int trackNumber, int& seconds) const;

    // Stops a playing stream, then starts the selected range. 1 when it started.
    int Play(int trackNumber);
    // Resumes a paused stream, or opens the device and starts the selected range.
    int Start(int trackNumber);
    // Pauses a playing stream. 1 when paused (or already paused).
    int Pause();
    // Ends the stream: the player thread finishes, the device is closed. Returns 1.
    int Stop();

    // Whole seconds from the range's start to the next block to be read.
    int GetPosition(int& seconds) const;
    // Moves the next block to be read to `seconds` into the range. 0 when stopped.
    int SetPosition(int trackNumber, int seconds);

    bool IsPlaying() const { return playing_ != 0; }
    bool IsPaused() const { return paused_ != 0; }
    int SelectedTrack() const { return selectedTrack_; }
    std::int32_t RangeStart() const { return rangeStart_; }
    std::int32_t RangeLength() const { return rangeLength_; }

    // Why the last stream's thread ended.
    enum class EndReason { None, EndOfRange, DriveFailed, PrepareFailed, Stopped };
    EndReason LastEndReason() const;

  private:
    int OpenDevice();

    std::unique_ptr<PlayerStream> stream_;
    std::int32_t paused_ = 0;
    std::int32_t playing_ = 0;
    int selectedTrack_ = 0;  // the number last asked for
    std::int32_t rangeLength_ = 0;
    std::int32_t rangeStart_ = 0;
    std::vector<cd::TrackEntry> table_;  // the track table as last read

    std::uint32_t cdHandle_ = 0;
    platform::WindowHandle mainWindow_ = 0;
};

}  // namespace player
