#!/usr/bin/env bash
# Sets up, builds and runs every test, headless.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$here/build}
"$here/scripts/setup.sh" "$build"
cd "$build"
# One virtual X server for the whole run; wine finds it through DISPLAY.
exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  ctest --output-on-failure --timeout 300 "$@"
