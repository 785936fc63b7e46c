#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix (the installed tree
# must not point back into the build), and runs the installed program on the demo
# disc: --list, an MP3 rip of one track and the conversion of its WAV rip, which
# need the CD access library and both encoder modules from <prefix>/lib/trackmill.
# Then checks the installed desktop files with their
# validators. Exit 77 (skipped) only when a validator is not installed.
# usage: install_test.sh BUILD_DIR DEMO_DIR
set -euo pipefail
build="$1"
demo="$2/demo.cue"
work="$(mktemp -d "${TMPDIR:-/tmp}/tm_install.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/prefix"
prefix="$work/prefix"

for f in bin/trackmill lib/trackmill/libcdaccess.so lib/trackmill/liblame_enc.so \
         lib/trackmill/libdll_orvam.so share/applications/trackmill.desktop \
         share/doc/trackmill/help/index.html share/man/man1/trackmill.1.gz \
         share/doc/trackmill/copyright share/doc/trackmill/changelog.gz; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
for size in 16 32 48 128 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/trackmill.png"
  [ -f "$icon" ] || fail "the ${size}x${size} icon is not installed"
  file "$icon" | grep -q "PNG image data, $size x $size" || fail "$icon is not a ${size}x${size} PNG"
done
[ -z "$(find "$prefix" -name 'make_demo_disc*' -o -name '*_tests' -o -name 'demo.*')" ] ||
  fail "build tools or test data were installed"
runpath="$(readelf -d "$prefix/bin/trackmill" | sed -n 's/.*R\(UN\)\{0,1\}PATH.*\[\(.*\)\]/\2/p')"
[ "$runpath" = '$ORIGIN/../lib/trackmill' ] || fail "library search path is '$runpath'"

# The installed program, with its own settings and no help from the environment.
run() {
  env -u LD_LIBRARY_PATH -u TRACKMILL_DISC HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
    "$prefix/bin/trackmill" "$@"
}
listing="$(run --list --disc "$demo")" || fail "--list failed"
grep -q $'^1\tTrack 1\t' <<<"$listing" || fail "--list printed: $listing"
mkdir -p "$work/out"
run --rip mp3 --disc "$demo" --out "$work/out" --tracks 1 >/dev/null || fail "--rip mp3 failed"
mp3="$work/out/Track 1.mp3"
[ -s "$mp3" ] || fail "the rip wrote no MP3 file"
is_mp3() { head -c 3 "$1" | od -An -tx1 | grep -Eq '^ *(49 44 33|ff f[2-3b])'; }
is_mp3 "$mp3" || fail "Track 1.mp3 is not MP3"
# The converter's module too: a WAV rip of the same track, converted to MP3.
run --rip wav --disc "$demo" --out "$work/out" --tracks 1 >/dev/null || fail "--rip wav failed"
run --convert "$work/out/Track 1.wav" --out "$work/converted" >/dev/null || fail "--convert failed"
is_mp3 "$work/converted/Track 1.mp3" || fail "--convert wrote no MP3 file"

# The desktop entry and the AppStream data, as the desktop and software centres read them.
skipped=()
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/trackmill.desktop" ||
    fail "desktop-file-validate"
else
  skipped+=(desktop-file-validate)
fi
if command -v appstreamcli >/dev/null; then
  # Any error or warning of the validator fails.
  report=$(appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml 2>&1 || true)
  errors=$(printf '%s\n' "$report" | grep -E '^E:' || true)
  warnings=$(printf '%s\n' "$report" | grep -E '^W:' || true)
  [ -z "$errors$warnings" ] || { printf '%s\n' "$report"; fail "appstreamcli"; }
else
  skipped+=(appstreamcli)
fi
if [ ${#skipped[@]} -gt 0 ]; then
  echo "SKIPPED: ${skipped[*]} not installed (scripts/setup.sh installs it)"
  exit 77
fi
echo "installed program ran from $prefix; desktop entry and AppStream data valid"
