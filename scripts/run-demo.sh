#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program's main job on the demo disc.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh default
bin=build/default/bin
out="${TRACKMILL_DEMO_OUT:-$PWD/build/default/demo-rip}"
mkdir -p "$out"
"$bin/trackmill" --list --disc "$bin/demo/demo.cue"
"$bin/trackmill" --rip wav --disc "$bin/demo/demo.cue" --out "$out"
