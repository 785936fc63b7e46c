// The window message the player thread posts to the main window when a range has
// been played to its end or the drive failed (wParam 0, lParam 0).
#pragma once

inline constexpr int WM_PLAY_END = 1224;
