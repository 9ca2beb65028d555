#!/usr/bin/env bash
# Sets up, builds both bitnesses and runs every test, headless: the control's
# native tests and brief fuzzing, then the whole suite once for each bitness
# this machine runs (64-bit everywhere, 32-bit where the kernel runs 32-bit
# programs), then the install tests of the packages. The last lines say what
# ran. Arguments go to ctest (and then only ctest runs).
source "$(dirname "$0")/common.sh"
build=${BUILD_DIR:-$here/build}
"$here/scripts/setup.sh" "$build"

summary=()
failed=0

# The control's device core and parsers, natively: unit tests under the
# sanitizers and a brief run of each fuzz target (scripts/native-tests.sh).
native_log=$build/native-tests.log
native_rc=0
"$here/scripts/native-tests.sh" "$build" 2>&1 | tee "$native_log" || native_rc=$?
native_result=$(grep -E '^native: ' "$native_log" | tail -n1 || true)
[ -n "$native_result" ] || native_result="native: ended with exit status $native_rc (see $native_log)"
summary+=("test: $native_result")
[ $native_rc -eq 0 ] || failed=1

for bits in 64 32; do
  tree=$build/$(tree_of "$bits")
  if ! can_run "$build" "$bits"; then
    summary+=("test: $bits-bit: built, not run (this machine cannot run $bits-bit programs)")
    continue
  fi
  echo "test: running the $bits-bit suite in $tree"
  log=$tree/ctest.log
  rc=0
  # One virtual X server for the suite; wine finds it through DISPLAY.
  (cd "$tree" && xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
     ctest --output-on-failure --timeout 300 "$@") 2>&1 | tee "$log" || rc=$?
  result=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n1 || true)
  [ -n "$result" ] || result="ctest ended with exit status $rc before reporting"
  summary+=("test: $bits-bit: $result")
  [ $rc -eq 0 ] || failed=1
done

# The installer packages, installed into fresh prefixes (a few minutes; skipped
# when arguments pick ctest tests).
if [ $# -eq 0 ]; then
  echo "test: installing the packages into fresh prefixes under $build/install-tests"
  log=$build/install-tests.log
  rc=0
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$here/tests/install/install_tests.sh" "$build" 2>&1 |
    tee "$log" || rc=$?
  result=$(grep -E '^install: [0-9]+ passed' "$log" | tail -n1 || true)
  summary+=("test: ${result:-install: ended with exit status $rc before reporting}")
  [ $rc -eq 0 ] || failed=1
else
  summary+=("test: install tests not run (arguments given to ctest)")
fi

printf '%s\n' "${summary[@]}"
[ $failed -eq 0 ] || fail "some tests failed (see above)"
