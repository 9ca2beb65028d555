#!/usr/bin/env bash
# Fuzzes the control's parsers and device core for longer than the test run
# does: each libFuzzer target of tests/control/fuzz in turn, for SECONDS each
# (default 60), on a corpus kept in build/native/corpus (grown from the seeds
# in the repository). Faults found are saved in build/native/findings; each
# becomes a fixed bug and a unit test, and its input a seed.
# Usage: scripts/fuzz.sh [seconds] [target...]
source "$(dirname "$0")/common.sh"

seconds=60
if [ $# -gt 0 ] && [[ "$1" =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
targets=("$@")
build=${BUILD_DIR:-$here/build}
"$here/scripts/native-tests.sh" "$build" --build-only
tree=$(cd "$build" && pwd)/native
# By default every target the host tree runs briefly (ctest label fuzz).
[ ${#targets[@]} -gt 0 ] ||
  mapfile -t targets < <(cd "$tree" && ctest -N -L fuzz | sed -n 's/^ *Test *#[0-9]*: *\([a-z_]*_fuzz\)$/\1/p')
[ ${#targets[@]} -gt 0 ] || fail "the host tree $tree has no fuzz targets"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

summary=()
failed=0
for target in "${targets[@]}"; do
  [ -x "$tree/$target" ] || fail "no fuzz target $target"
  corpus=$tree/corpus/$target
  mkdir -p "$corpus" "$tree/findings"
  log=$tree/$target.fuzz.log
  echo "fuzz: $target for $seconds s"
  rc=0
  "$tree/$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$tree/findings/$target-" "$corpus" "$here/tests/control/fuzz/corpus/$target" >"$log" 2>&1 || rc=$?
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo "?")
  rate=$(grep -oE 'stat::average_exec_per_sec: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo "?")
  if [ $rc -eq 0 ]; then
    summary+=("fuzz: $target: $runs runs, $rate/s, corpus $(ls "$corpus" | wc -l) inputs, nothing found")
  else
    failed=1
    grep -E 'invariant broken|ERROR:|SUMMARY:|Test unit written' "$log" || tail -n 20 "$log"
    summary+=("fuzz: $target: FOUND A FAULT after $runs runs (log: $log)")
  fi
done
printf '%s\n' "${summary[@]}"
[ $failed -eq 0 ] || fail "a fuzz target found a fault (inputs in $tree/findings)"
