#!/usr/bin/env bash
# Sets up, builds and runs the console on the simulated scanner.
# Without a display it starts a virtual X server of its own.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
"$here/scripts/setup.sh" "$build" Quillon QuillonScanner scaninject
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
if [ -z "${DISPLAY:-}" ]; then
  display=:${QUILLON_DISPLAY:-77}
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null' EXIT
  export DISPLAY=$display
  sleep 1
  echo "run: no display, so the console runs on virtual display $DISPLAY"
  echo "run: take a screenshot with: DISPLAY=$DISPLAY import -window root shot.png"
fi
wine "$build/app/Quillon.exe"
