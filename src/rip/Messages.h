// The window messages of the rip: progress to the dialog's percent bar (the PBX_*
// messages of the bar) and the end of a track.
#pragma once

#include "controls/PercentBarMessages.h"

// Posted to the rip dialog when a track has ended, whatever the end; wParam 0, lParam 0.
inline constexpr int WM_RIP_TRACK_DONE = 10114;

// Control ids of the rip dialog that the rip engine reports into.
inline constexpr int kRipProgressControl = 1023;  // percent bar: PBX_* messages
// Status line: StartTrack sets its Qt property "text" (as a QLabel's) on the
// dialog's thread.
inline constexpr int kRipFileNameControl = 1029;
