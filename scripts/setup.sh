#!/usr/bin/env bash
# Installs every Debian package Trackmill needs to build, run, test and benchmark.
# Idempotent: packages already present are skipped. Works as root or through sudo.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libcdio-dev libcdio-utils cd-paranoia libcue-dev libsndfile1-dev
  libmp3lame-dev lame
  portaudio19-dev libasound2-dev libasound2-plugins alsa-utils
  libmpg123-dev libdiscid-dev zlib1g-dev libflac-dev flac libtag1-dev libebur128-dev
  libgtest-dev libgmock-dev
  clang-format xvfb xauth fonts-dejavu-core imagemagick xdotool
  dpkg-dev fakeroot file desktop-file-utils appstream lintian
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
APT_OPTS=(-o DPkg::Lock::Timeout=600 -y -q --no-install-recommends)
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -q update
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get "${APT_OPTS[@]}" install "${missing[@]}"
