// The percent bar's window messages. Any thread may post or send them to the bar's
// window handle (platform::PostMessage / platform::SendMessage); the bar handles
// them on its own thread. wParam carries an unsigned 32-bit value; the GET
// messages answer in the event's `result`.
#pragma once

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
