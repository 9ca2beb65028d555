#!/usr/bin/env bash
# Makes the guide's pictures: starts the console on the simulated scanner
# under a virtual X server of its own, takes it through one test session and
# writes a PNG of each step, cropped to the console's window, into docs/img/.
# Usage: scripts/screenshots.sh [--bits=32|64]   (default: the console run.sh starts)
source "$(dirname "$0")/common.sh"
build=${BUILD_DIR:-$here/build}
read_bits_option "scripts/screenshots.sh [--bits=32|64]" "$@"
"$here/scripts/setup.sh" "$build" --bits="${bits:-auto}" Quillon QuillonScanner scaninject guide_shots
[ -n "$bits" ] || bits=$(default_bits "$build")
require_runnable "$build" "$bits"
out=$here/docs/img
mkdir -p "$out"
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
# The pictures show the console the way the guide describes it: 1024x768,
# the classic look of the private prefix, the serial device's port absent.
rm -f "$WINEPREFIX/dosdevices/com5"
xvfb_screen=1024x768x24 xvfb \
  env WINELOADER="$(wine_loader "$bits")" "$(wine_loader "$bits")" \
  "$build/$(tree_of "$bits")/tools/guide_shots.exe" "$out" </dev/null
WINEPREFIX=$build/wineprefix wineserver -k >/dev/null 2>&1 || true
echo "screenshots: the pictures are in $out"
