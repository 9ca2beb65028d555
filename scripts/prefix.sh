#!/usr/bin/env bash
# Makes the project's private Wine prefixes under the build root (once) and
# registers the stand-in scanner control objects in the one that has them.
# Both are 64-bit prefixes, as 64-bit Windows is: 64-bit programs see the
# native registry view, 32-bit programs the 32-bit one. Never touches ~/.wine.
# Usage: scripts/prefix.sh build-root
source "$(dirname "$0")/common.sh"
[ $# -eq 1 ] || fail "usage: scripts/prefix.sh build-root"
build=$(cd "$1" && pwd)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

make_prefix() {
  export WINEPREFIX=$1
  if [ -f "$WINEPREFIX/system.reg" ] && ! grep -q '^#arch=win64' "$WINEPREFIX/system.reg"; then
    echo "setup: $WINEPREFIX is a 32-bit prefix from an earlier build; making it anew as a 64-bit one"
    rm -rf "$WINEPREFIX"
  fi
  [ -f "$WINEPREFIX/system.reg" ] && return
  echo "setup: making the private Wine prefix $WINEPREFIX"
  boot_prefix 64
  wineserver -w # the registry reaches its files when the server ends
  [ -f "$WINEPREFIX/system.reg" ] || fail "wineboot ended without making the prefix $WINEPREFIX"
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
  wine_run 64 reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /t REG_SZ /d 0 /f \
    >/dev/null 2>&1
  wineserver -w
}

# The second prefix never has a control object: the start-up test runs in it.
make_prefix "$build/wineprefix-bare"
make_prefix "$build/wineprefix"
classic_look "$build/wineprefix-bare"
classic_look "$build/wineprefix"
"$here/scripts/register-control.sh" "$build"

# Leave no Wine process of either prefix running: one started here has no
# display (or one that is about to go away), and the next program would share
# it through the same wineserver.
for p in "$build/wineprefix" "$build/wineprefix-bare"; do
  WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$p wineserver -w >/dev/null 2>&1 || true
done
