#!/usr/bin/env bash
# Sets up, builds and runs the console on the simulated scanner: the 32-bit
# console where this machine runs 32-bit programs, otherwise the 64-bit one.
# Without a display it starts a virtual X server of its own.
# Usage: scripts/run.sh [--bits=32|64]
source "$(dirname "$0")/common.sh"
build=${BUILD_DIR:-$here/build}
read_bits_option "scripts/run.sh [--bits=32|64]" "$@"

"$here/scripts/setup.sh" "$build" --bits="${bits:-auto}" Quillon QuillonScanner scaninject
[ -n "$bits" ] || bits=$(default_bits "$build")
require_runnable "$build" "$bits"
console=$build/$(tree_of "$bits")/app/Quillon.exe
echo "run: starting the $bits-bit console $console"

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
if [ -z "${DISPLAY:-}" ]; then
  display=:${QUILLON_DISPLAY:-77}
  Xvfb "$display" -screen 0 "$xvfb_screen" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill $xvfb_pid 2>/dev/null' EXIT
  export DISPLAY=$display
  sleep 1
  echo "run: no display, so the console runs on virtual display $DISPLAY"
  echo "run: take a screenshot with: DISPLAY=$DISPLAY import -window root shot.png"
fi
wine_run "$bits" "$console"
