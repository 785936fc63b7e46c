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

home="$(mktemp -d)"
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

main() {
  shot_main_window
  shot_track_menu
}

main
