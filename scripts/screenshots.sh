#!/usr/bin/env bash
# Takes the screenshots of the program's windows: starts the built program on the
# demo disc under a private X server (Xvfb, no window manager) and captures each
# window into docs/screenshots/. Builds nothing; run scripts/build.sh first.
#
# usage: scripts/screenshots.sh [BUILD_DIR]      (default build/default)
#
# Each shot is one function named shot_<name>; main calls them in turn. The program
# runs with a private home folder, so its settings file and music folder are
# created there and nothing of the user's is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
bin="$build/bin"
out=docs/screenshots

# Re-run inside a fresh X server of a fixed size, so every run looks the same.
if [ -z "${TRACKMILL_SCREENSHOT_SERVER:-}" ]; then
  export TRACKMILL_SCREENSHOT_SERVER=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" bash "$0" "$@"
fi

home="$(mktemp -d -t trackmill.XXXXXX)"
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$home/run"
mkdir -p "$XDG_RUNTIME_DIR" "$out"
chmod 700 "$XDG_RUNTIME_DIR"
unset TRACKMILL_DISC QT_QPA_PLATFORM

program_pid=""
window=""

# Starts the program on the demo disc with the given extra arguments and waits for
# its main window; sets program_pid and window.
start_program() {
  "$bin/trackmill" --disc "$bin/demo/demo.cue" "$@" &
  program_pid=$!
  window="$(timeout 20 xdotool search --sync --onlyvisible --name '^Trackmill$' | head -n 1)"
  sleep 1  # let the first paint finish
}

# Ends the program with Escape on its main window (no window manager: the key goes
# through the server to the window under the pointer); kills it if it does not end.
stop_program() {
  xdotool mousemove --window "$window" 10 10 key Escape || true
  for _ in $(seq 50); do
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$program_pid" 2>/dev/null || true
  wait "$program_pid" 2>/dev/null || true
}

# Writes one window's picture as $out/NAME.png.
capture() {
  import -window "$1" "$out/$2.png"
  echo "screenshots: wrote $out/$2.png"
}

shot_main_window() {
  start_program
  capture "$window" main-window
  stop_program
}

# The track list's popup menu over the main window (for the help page). The menu is
# a window of its own, so the shot is the screen area of the main window, which the
# menu opened at the click lies within.
shot_track_menu() {
  start_program
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove $((X + 260)) $((Y + 120)) click 3
  sleep 1
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out/track-menu.png"
  echo "screenshots: wrote $out/track-menu.png"
  xdotool key Escape
  sleep 0.3
  stop_program
}

# Waits for the visible top-level window titled exactly $1 and prints its id.
wait_window() {
  timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1
}

# Clicks one of the main window's tab buttons at its position in the window.
click_main_button() {
  xdotool mousemove --window "$window" "$1" "$2" click 1
}

# Closes a dialog with Escape, sent with the pointer over it.
close_dialog() {
  xdotool mousemove --window "$1" 10 10 key Escape || true
  sleep 0.5
}

# The rip dialog while it rips the demo disc, started from the track list's
# "CD to MP3" entry (a WAV rip of the demo disc is over before any picture could
# catch it). Even an MP3 rip takes only a moment, so the program
# gets a tenth of the processor time (stopped and continued in turn) while the
# dialog opens, and is held stopped while its picture is taken: the picture then
# shows a track part-way, with its file name and the progress bar.
throttle_pid=""
start_throttle() {
  (
    while kill -STOP "$program_pid" 2>/dev/null; do
      sleep 0.09
      kill -CONT "$program_pid" 2>/dev/null || break
      sleep 0.01
    done
  ) &
  throttle_pid=$!
}
stop_throttle() {
  kill "$throttle_pid" 2>/dev/null || true
  wait "$throttle_pid" 2>/dev/null || true
  throttle_pid=""
}

shot_rip_dialog() {
  start_program
  local X Y WIDTH HEIGHT SCREEN WINDOW dialog
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove $((X + 260)) $((Y + 120)) click 3
  sleep 1
  start_throttle
  xdotool key Down Return  # the menu's first entry: "CD to MP3"
  dialog="$(wait_window Ripper)"
  sleep 1
  stop_throttle
  kill -STOP "$program_pid"
  capture "$dialog" rip-dialog
  kill -CONT "$program_pid"
  sleep 3  # let the batch finish before the dialog is closed
  close_dialog "$dialog"
  stop_program
}

# The convert dialog with three WAV files of the demo disc in its list, added
# through its file dialog: the folder is typed first, then the quoted names.
shot_convert_dialog() {
  "$bin/trackmill" --rip wav --disc "$bin/demo/demo.cue" --out "$HOME/Music" --tracks 1-3 >/dev/null
  start_program
  click_main_button 85 196  # CONVERT
  local dialog
  dialog="$(wait_window Convert)"
  sleep 0.5
  xdotool mousemove --window "$dialog" 428 83 click 1  # "..." beside "Source File"
  wait_window Open >/dev/null
  sleep 0.5
  xdotool type --delay 20 "$HOME/Music/"
  xdotool key Return
  sleep 0.5
  xdotool type --delay 20 '"Track 1.wav" "Track 2.wav" "Track 3.wav"'
  xdotool key Return
  sleep 1
  capture "$dialog" convert-dialog
  close_dialog "$dialog"
  stop_program
}

shot_options_dialog() {
  start_program
  click_main_button 85 227  # OPTION
  local dialog
  dialog="$(wait_window Option)"
  sleep 0.5
  capture "$dialog" options-dialog
  close_dialog "$dialog"
  stop_program
}

main() {
  shot_main_window
  shot_track_menu
  shot_rip_dialog
  shot_convert_dialog
  shot_options_dialog
}

main
