#!/usr/bin/env bash
# The control's device core and parsers on this machine, without Wine: builds
# the host tree (clang, AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs its ctest labels native (the unit tests) and fuzz (each libFuzzer
# target briefly, with a fixed seed and number of runs, from the seed corpus
# in the repository). scripts/test.sh runs the same; scripts/fuzz.sh fuzzes
# for longer.
# Usage: scripts/native-tests.sh [build-root] [--build-only]
source "$(dirname "$0")/common.sh"

build=${BUILD_DIR:-$here/build}
build_only=no
for a in "$@"; do
  case "$a" in
    --build-only) build_only=yes ;;
    --*) fail "unknown option $a (usage: scripts/native-tests.sh [build-root] [--build-only])" ;;
    *) build=$a ;;
  esac
done
mkdir -p "$build"
build=$(cd "$build" && pwd)
build_host_tree "$build"
[ $build_only = no ] || exit 0
cd "$build/native" && ctest --output-on-failure -L 'native|fuzz'
