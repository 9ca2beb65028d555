#!/usr/bin/env bash
# The control's device core and parsers on this machine, without Wine: builds
# them with clang under AddressSanitizer and UndefinedBehaviorSanitizer
# (tests/control/native), runs their unit tests, and runs each libFuzzer
# target of tests/control/fuzz briefly, with a fixed seed and a fixed number
# of runs, from the seed corpus in the repository. The last line says what ran.
# Usage: scripts/native-tests.sh [build-root] [--build-only]
#   The tree is build-root/native (default build/native). scripts/fuzz.sh
#   fuzzes for longer.
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
tree=$(cd "$build" && pwd)/native

# The fuzz targets, and how many inputs each runs here: about two seconds each.
targets=(framer_fuzz:40000 xml_fuzz:30000 statistics_request_fuzz:6000 injection_fuzz:20000 device_fuzz:8000)

for tool in clang++-14 cmake; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
cmake -S "$here/tests/control/native" -B "$tree" -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
echo "native-tests: building $tree"
cmake --build "$tree" -j"$(nproc)" >"$tree/build.log" 2>&1 || { tail -n 40 "$tree/build.log"; fail "the native build failed (log: $tree/build.log)"; }
[ $build_only = no ] || exit 0

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
start=$(date +%s)
"$tree/control_native_tests" --gtest_brief=1 >"$tree/tests.log" 2>&1 || { cat "$tree/tests.log"; fail "native unit tests failed"; }
tests=$(grep -oE '[0-9]+ tests? from [0-9]+ test suites? ran' "$tree/tests.log" | grep -oE '^[0-9]+')
echo "native-tests: $tests unit tests passed in $(( $(date +%s) - start )) s"

findings=0
for entry in "${targets[@]}"; do
  target=${entry%%:*} runs=${entry##*:}
  scratch=$tree/corpus-brief/$target
  rm -rf "$scratch" && mkdir -p "$scratch" "$tree/findings"
  log=$tree/$target.log
  if "$tree/$target" -seed=1 -runs="$runs" -max_total_time=30 -print_final_stats=1 \
       -artifact_prefix="$tree/findings/$target-" "$scratch" "$here/tests/control/fuzz/corpus/$target" >"$log" 2>&1; then
    rate=$(grep -oE 'stat::average_exec_per_sec: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo "?")
    echo "native-tests: $target: $runs runs, $rate/s, nothing found"
  else
    findings=$((findings + 1))
    grep -E 'invariant broken|ERROR:|SUMMARY:|Test unit written' "$log" || tail -n 20 "$log"
    echo "native-tests: $target found a fault (log: $log)"
  fi
done
[ $findings -eq 0 ] || fail "$findings fuzz target(s) found a fault"
echo "native: $tests unit tests passed, ${#targets[@]} fuzz targets ran clean"
