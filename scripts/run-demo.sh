#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program on the demo disc: the main
# window when a display is available, else the headless list and rip.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh default
bin=build/default/bin
disc="$bin/demo/demo.cue"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "run-demo: the main window on the demo disc; close it with its X button (top right) or Escape"
  "$bin/trackmill" --disc "$disc"
  exit
fi
echo "run-demo: no display; listing and ripping the demo disc without the window"
out="${TRACKMILL_DEMO_OUT:-$PWD/build/default/demo-rip}"
mkdir -p "$out"
"$bin/trackmill" --list --disc "$disc"
"$bin/trackmill" --rip wav --disc "$disc" --out "$out"
