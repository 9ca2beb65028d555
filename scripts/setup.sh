#!/usr/bin/env bash
# Installs what the build needs (when missing), configures and builds.
# Usage: scripts/setup.sh [build-dir [target...]]  (no target: everything)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
shift || true
targets=()
for t in "$@"; do targets+=(--target "$t"); done

packages=(cmake make g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-i686-dev
          mingw-w64-tools googletest wine wine32:i386 fonts-wine xvfb xauth x11-utils
          imagemagick socat python3 procps)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DQUILLON_WERROR="${QUILLON_WERROR:-ON}" >/dev/null
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
"$here/scripts/prefix.sh" "$build"
