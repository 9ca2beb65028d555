#!/usr/bin/env bash
# Installs what the build needs (when missing), finds out which bitnesses this
# machine can run, configures and builds the build trees, and makes the
# private Wine prefixes.
# Usage: scripts/setup.sh [build-root] [--bits=32,64] [--host] [target...]
#   --host   also the host tree (build-root/native: native tests, fuzz
#            targets, the install tests' entry)
#   --bits   the build trees to build (default: both); a tree is built even
#            where this machine cannot run it. auto: the 32-bit tree where
#            this machine runs 32-bit programs, otherwise the 64-bit one
#   target   what to build in each tree (default: everything)
source "$(dirname "$0")/common.sh"

build=${BUILD_DIR:-$here/build}
bits_wanted=(64 32)
host=no
targets=()
positional=0
for a in "$@"; do
  case "$a" in
    --bits=*) IFS=, read -r -a bits_wanted <<<"${a#--bits=}" ;;
    --host) host=yes ;;
    --*) fail "unknown option $a (usage: scripts/setup.sh [build-root] [--bits=32,64] [--host] [target...])" ;;
    *) if [ $positional -eq 0 ]; then build=$a; else targets+=(--target "$a"); fi
       positional=$((positional + 1)) ;;
  esac
done
for b in "${bits_wanted[@]}"; do
  [ "$b" = 32 ] || [ "$b" = 64 ] || [ "$b" = auto ] || fail "--bits takes 32, 64, 32,64 or auto, not '$b'"
done
mkdir -p "$build"
build=$(cd "$build" && pwd)

# Does the kernel run 32-bit x86 programs? A 91-byte i386 program that only
# exits answers before anything is installed: where IA32 emulation is off it
# fails with "Exec format error", as Wine's 32-bit loader would.
kernel_runs_i386() {
  local probe rc=0
  probe=$(mktemp)
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5b\x00\x00\x00\x5b\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xc0\x40\x31\xdb\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  return $rc
}

i386=no
kernel_runs_i386 && i386=yes

packages=(cmake make g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
          g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
          mingw-w64-tools googletest wine wine64 fonts-wine xvfb xauth x11-utils
          imagemagick socat python3 procps wixl msitools zip osslsigncode
          clang-14 libclang-rt-14-dev libgtest-dev)
# 32-bit Wine only where it can run: installed elsewhere it would only be
# taken by Debian's wine script and fail.
[ $i386 = yes ] && packages+=(wine32:i386)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  [ $i386 = yes ] && $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# What runs, tested by running it: an installed package proves nothing.
runs=()
"$(wine_loader 64)" --version >/dev/null 2>&1 && runs+=(64)
[ $i386 = yes ] && "$(wine_loader 32)" --version >/dev/null 2>&1 && runs+=(32)
case "${runs[*]}" in
  "64 32") echo "setup: this machine runs 64-bit and 32-bit Windows programs" ;;
  "64") echo "setup: this machine runs 64-bit Windows programs only (32-bit programs fail here with \"Exec format error\": IA32 emulation is off), so 32-bit builds are compiled but not run" ;;
  *) rm -f "$build/bits"
     fail "this machine runs no Windows programs: $(wine_loader 64) --version fails ($("$(wine_loader 64)" --version 2>&1 | head -n1)); an x86-64 Linux machine with Debian's wine64 is needed" ;;
esac
echo "${runs[*]}" >"$build/bits"
if [ "${bits_wanted[*]}" = auto ]; then
  bits_wanted=(64)
  [ "${runs[*]}" = "64 32" ] && bits_wanted=(32)
fi

for b in "${bits_wanted[@]}"; do
  tree=$build/$(tree_of "$b")
  cmake -S "$here" -B "$tree" \
        -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-$([ "$b" = 64 ] && echo x86_64 || echo i686).cmake" \
        -DCMAKE_BUILD_TYPE=Release -DQUILLON_WERROR="${QUILLON_WERROR:-ON}" \
        -DQUILLON_WINEPREFIX="$build/wineprefix" -DQUILLON_BARE_PREFIX="$build/wineprefix-bare" >/dev/null
  echo "setup: building the $b-bit tree $tree"
  cmake --build "$tree" -j"$(nproc)" "${targets[@]}"
done
"$here/scripts/prefix.sh" "$build"
[ $host = no ] || build_host_tree "$build"
