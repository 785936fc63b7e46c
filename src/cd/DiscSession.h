// Opening the disc for a headless command: applies the command line's `--disc FILE`
// options, requests the drive list, opens the first drive that gives a handle and
// builds the track table, the same way the main window does at start-up.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "cd/TrackTable.h"
#include "cdaccess/CdAccess.h"

namespace cd {

// Everything a command needs about the opened disc. The record owns its handle: it
// stays open until CloseDisc or the record's end.
struct DiscState {
    DiscState() = default;
    ~DiscState();
    DiscState(const DiscState&) = delete;
    DiscState& operator=(const DiscState&) = delete;

    DriveListRecord drives{};
    std::uint32_t handle = 0;  // 0 = no drive open
    std::string driveName;     // the opened drive's name (an image's path for an image)
    std::array<TrackEntry, kMaxTracks> table{};
    std::vector<TrackRow> rows;  // one per entry of `table` in use, in row order
};

// Adds every image named by a `--disc FILE` pair in args to the drive list
// (cdaccess::AddImage), in the order given. Other arguments are ignored. False, with
// a one-line message in `error`, when a `--disc` has no file after it.
bool ApplyDiscOptions(const std::vector<std::string>& args, std::string& error);

// ApplyDiscOptions, then the drive list, the first drive that opens and the track
// table. True when a drive opened and its table of contents gave at least one row.
// False with a one-line message in `error` on a usage error, when no drive opens or
// when no table of contents can be read (or it lists no track); out.handle is then 0.
bool OpenDisc(const std::vector<std::string>& args, DiscState& out, std::string& error);

// Why the first listed drive that says why it could not be opened failed, in the words
// OpenDisc uses: "cannot open the disc image FILE: reason". Empty when none says why.
std::string DriveOpenFailure();

// Closes the handle when one is open and sets it to 0.
void CloseDisc(DiscState& state);

// Audio hidden before track 1: when track 1's index 01 lies after frame 0 and the
// frames before it are not all silence, their count; 0 otherwise (also when they
// cannot be read).
std::uint32_t HiddenAudioFrames(std::uint32_t handle);

// The frames before an audio track 1's index 01 (0 when there are none, or the disc
// does not start with an audio track 1), whether they could be read, and whether they
// are digital silence (every byte zero).
struct HiddenAudio {
    std::uint32_t frames = 0;
    bool readable = true;
    bool silent = true;
};
HiddenAudio ScanHiddenAudio(std::uint32_t handle);

}  // namespace cd
