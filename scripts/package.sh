#!/usr/bin/env bash
# Builds the Debian package from the default build and checks it with lintian.
# Prints the package's file name, size and dependency line.
# Usage: scripts/package.sh (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/../build/default"
cpack -G DEB >/dev/null 2>&1 || cpack -G DEB
deb="$(ls -t trackmill_*.deb | head -n 1)"
echo "$deb: $(stat -c %s "$deb") bytes, $(dpkg-deb -f "$deb" Installed-Size) KiB installed"
echo "Depends: $(dpkg-deb -f "$deb" Depends)"
# lintian's exit status counts errors only; warnings and notes are printed.
lintian --fail-on error --tag-display-limit 0 "$deb"
