# Sourced by the project's scripts: where the build trees and prefixes are,
# which Wine loader runs which bitness, and a report of any command that fails.
#
# Layout under the build root (build/ unless BUILD_DIR or an argument says
# otherwise): x86/ and x64/ are the 32-bit and 64-bit build trees, wineprefix/
# is the 64-bit Wine prefix in which both control objects are registered (each
# in its own registry view), wineprefix-bare/ one without any control object,
# and bits lists the bitnesses this machine can run.
set -Eeuo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
script_name=$(basename "$0" .sh)

# Every step that fails names itself, once, before the script ends.
report_failure() {
  local rc=$1 command=$2 where=$3
  trap - ERR
  echo "$script_name: failed (exit $rc) at $where: $command" >&2
}
trap 'report_failure $? "$BASH_COMMAND" "${BASH_SOURCE[0]##*/} line $LINENO"' ERR

fail() {
  trap - ERR
  echo "$script_name: $*" >&2
  exit 1
}

# The build tree of a bitness, relative to the build root.
tree_of() { if [ "$1" = 64 ]; then echo x64; else echo x86; fi; }

# Wine's loader for a bitness, by path: Debian's /usr/bin/wine takes the
# 32-bit loader whenever it is installed, even where the kernel cannot run it.
# The list is cmake/wine-loaders.txt, which the build trees read too.
wine_loader() { awk -v bits="$1" '$1 == bits { print $2 }' "$here/cmake/wine-loaders.txt"; }

# Runs a Windows program of the given bitness in $WINEPREFIX.
wine_run() {
  local bits=$1 loader
  shift
  loader=$(wine_loader "$bits")
  WINELOADER=$loader "$loader" "$@"
}

# The bitnesses this machine runs, as found by setup (newest first: 64 32).
runnable_bits() {
  local file=$1/bits
  [ -s "$file" ] || fail "no record of what this machine runs in $file (run scripts/setup.sh)"
  cat "$file"
}

can_run() { [[ " $(runnable_bits "$1") " == *" $2 "* ]]; }

# A script whose only option is --bits=32|64: sets $bits (empty when not
# given); anything else ends the script with its usage.
read_bits_option() {
  local usage=$1 a
  shift
  bits=""
  for a in "$@"; do
    case "$a" in
      --bits=32 | --bits=64) bits=${a#--bits=} ;;
      *) fail "usage: $usage" ;;
    esac
  done
}

# The console to run when none is asked for: the 32-bit one where this
# machine runs it (a POS application on Windows is more often 32-bit).
default_bits() { if can_run "$1" 32; then echo 32; else echo 64; fi; }

# Checks that the asked bitness runs here; the error names the way out.
require_runnable() {
  can_run "$1" "$2" || fail "this machine cannot run $2-bit Windows programs; try --bits=64"
}

# The virtual X server every headless run uses: screen size and no TCP.
xvfb_screen=1280x1024x24
xvfb() { xvfb-run -a -s "-screen 0 $xvfb_screen -nolisten tcp" "$@"; }

# Runs a command on the display there is, or on a virtual one of its own.
with_display() {
  if [ -n "${DISPLAY:-}" ]; then "$@"; else xvfb "$@"; fi
}

# Without a display, runs the calling script again (ensure_display "$0" "$@")
# on a virtual X server of its own and ends with its exit status.
ensure_display() {
  [ -z "${DISPLAY:-}" ] || return 0
  local rc=0
  xvfb "$@" || rc=$?
  exit $rc
}

# The product version of version/version.h, A.B.C.D: the one place it is
# written (the build trees read it there too).
product_version() {
  local part v=()
  for part in MAJOR MINOR BUILD REVISION; do
    v+=("$(sed -n "s/^#define QUILLON_VERSION_$part \([0-9]\+\)$/\1/p" "$here/version/version.h")")
    [ -n "${v[-1]}" ] || fail "version/version.h has no QUILLON_VERSION_$part"
  done
  (IFS=.; echo "${v[*]}")
}

# Makes a new Wine prefix in $WINEPREFIX for programs of a bitness (64: a
# 64-bit prefix that also runs 32-bit programs where the machine can). Wine
# draws its own frames there (fast closing, captions on screenshots), and a
# crashing program never waits on a debugger dialog.
boot_prefix() {
  local bits=$1 loader
  loader=$(wine_loader "$bits")
  WINEARCH=win$bits with_display env WINELOADER="$loader" "$loader" wineboot -i >/dev/null 2>&1 ||
    fail "wineboot could not make the prefix $WINEPREFIX"
  wine_run "$bits" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wine_run "$bits" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
}

# Configures and builds the host tree (build-root/native: the control's device
# core and parsers under clang's sanitizers, the fuzz targets, and the install
# tests' entry), the tree of ctest labels native, fuzz and install.
build_host_tree() {
  local build=$1 tree=$1/native tool
  for tool in clang++-14 cmake; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
  done
  mkdir -p "$tree"
  # A tree configured from another source folder is made anew.
  if [ -f "$tree/CMakeCache.txt" ] && ! grep -qx "CMAKE_HOME_DIRECTORY:INTERNAL=$here" "$tree/CMakeCache.txt"; then
    rm -rf "$tree/CMakeCache.txt" "$tree/CMakeFiles"
  fi
  cmake -S "$here" -B "$tree" -DQUILLON_HOST=ON -DCMAKE_CXX_COMPILER=clang++-14 -DQUILLON_BUILD_ROOT="$build" >/dev/null
  echo "$script_name: building the host tree $tree"
  cmake --build "$tree" -j"$(nproc)" >"$tree/build.log" 2>&1 ||
    { tail -n 40 "$tree/build.log"; fail "the host tree's build failed (log: $tree/build.log)"; }
}
