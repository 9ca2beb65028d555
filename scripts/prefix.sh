#!/usr/bin/env bash
# Makes the project's private Wine prefix inside the build tree (once) and
# registers the stand-in scanner control object in it. Never touches ~/.wine.
# Usage: scripts/prefix.sh build-dir
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

with_display() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb-run -a "$@"; fi
}

make_prefix() {
  export WINEPREFIX=$1
  [ -f "$WINEPREFIX/system.reg" ] && return
  echo "setup: making the private Wine prefix $WINEPREFIX"
  with_display wineboot -i >/dev/null 2>&1
  # Wine draws its own frames (fast closing, captions on screenshots) and a
  # crashing test never waits on a debugger dialog.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
}

# The classic look: Wine draws its default visual style in software, and a
# themed scroll bar costs about 5 ms each time it is drawn (the label field
# redraws its scroll bar twice for every label it shows). Prefixes made before
# this setting get it here too. Classic caption buttons are glyphs of the
# Marlett font, which Wine ships but does not put into a new prefix.
classic_look() {
  export WINEPREFIX=$1
  local marlett=/usr/share/wine/fonts/marlett.ttf fonts=$1/drive_c/windows/Fonts
  if [ -f "$marlett" ] && [ ! -f "$fonts/marlett.ttf" ]; then
    mkdir -p "$fonts" && cp "$marlett" "$fonts/"
  fi
  grep -q '"ThemeActive"="0"' "$WINEPREFIX/user.reg" 2>/dev/null && return
  wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /t REG_SZ /d 0 /f \
    >/dev/null 2>&1
  wineserver -w
}

# The second prefix never has the control object: the start-up test runs in it.
make_prefix "$build/wineprefix-bare"
make_prefix "$build/wineprefix"
classic_look "$build/wineprefix-bare"
classic_look "$build/wineprefix"
if [ -x "$here/scripts/register-control.sh" ]; then
  "$here/scripts/register-control.sh" "$build"
fi

# Leave no Wine process of either prefix running: one started here has no
# display (or one that is about to go away), and the next program would share
# it through the same wineserver.
for p in "$build/wineprefix" "$build/wineprefix-bare"; do
  WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$p wineserver -w >/dev/null 2>&1 || true
done
