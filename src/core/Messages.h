// Every window message number of the program, and the control ids that threads post
// to. A message is posted with platform::PostMessage (any thread) or sent with
// platform::SendMessage; its number is the Qt event type. wParam carries an unsigned
// 32-bit value; the GET messages answer in the event's `result`.
#pragma once

namespace core {

// The percent bar's messages; it handles them on its own thread.
// Set the value that stands for 100 % (wParam). Clamps the position to it.
inline constexpr int PBX_SETRANGE = 1124;
// Answer the range.
inline constexpr int PBX_GETRANGE = 1125;
// Set the position (wParam), not clamped to the range.
inline constexpr int PBX_SETPOS = 1130;
// Answer the position.
inline constexpr int PBX_GETPOS = 1131;
// Add wParam to the position, stopping at the range.
inline constexpr int PBX_DELTAPOS = 1132;

// Posted by the player thread to the main window when a range has been played to its
// end or the drive failed (wParam 0, lParam 0).
inline constexpr int WM_PLAY_END = 1224;

// Posted to the rip dialog by its rip observer when a track has ended, whatever the
// end; wParam 0, lParam 0.
inline constexpr int WM_RIP_TRACK_DONE = 10114;

}  // namespace core
