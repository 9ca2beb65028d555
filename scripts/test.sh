#!/usr/bin/env bash
# Sets up, builds and runs every test, headless: set-up (scripts/setup.sh:
# packages, both Windows build trees, the prefixes, the host tree), then one
# ctest run per suite, then the summary. The suites are ctest labels:
#   native, fuzz  the control's device core and parsers under the sanitizers,
#                 and a brief run of each fuzz target (host tree)
#   suite         the whole Windows suite, once for each bitness this machine
#                 runs (64-bit everywhere, 32-bit where the kernel runs 32-bit
#                 programs)
#   install       the packages installed into fresh prefixes (host tree)
# The last lines say what ran. Arguments go to the per-bitness ctest runs
# (and then the install tests are not run).
source "$(dirname "$0")/common.sh"
build=${BUILD_DIR:-$here/build}
"$here/scripts/setup.sh" "$build" --host
build=$(cd "$build" && pwd)

summary=()
failed=0
# run_ctest NAME TREE ARGS...: one ctest run, on a virtual X server where
# there is no display (wine finds it through DISPLAY); its closing line goes
# into the summary, and its whole output into TREE/ctest-NAME.log.
run_ctest() {
  local name=$1 tree=$2 log rc=0 result
  shift 2
  log=$tree/ctest-${name// /-}.log
  echo "test: $name in $tree"
  (cd "$tree" && with_display ctest --output-on-failure "$@") 2>&1 | tee "$log" || rc=$?
  result=$(grep -E '^[0-9]+% tests passed' "$log" | tail -n1 || true)
  summary+=("test: $name: ${result:-ctest ended with exit status $rc before reporting}")
  [ $rc -eq 0 ] || failed=1
}

run_ctest native "$build/native" -L 'native|fuzz'

for bits in 64 32; do
  tree=$build/$(tree_of "$bits")
  if ! can_run "$build" "$bits"; then
    summary+=("test: $bits-bit: built, not run (this machine cannot run $bits-bit programs)")
    continue
  fi
  run_ctest "$bits-bit" "$tree" -L suite --timeout 300 "$@"
done

# The installer packages (a few minutes; not run when arguments pick tests).
if [ $# -eq 0 ]; then
  run_ctest install "$build/native" -L install -V
  result=$(grep -E '^([0-9]+: )?install: [0-9]+ passed' "$build/native/ctest-install.log" | tail -n1 | sed 's/^[0-9]*: //' || true)
  [ -z "$result" ] || summary+=("test: $result")
else
  summary+=("test: install tests not run (arguments given to ctest)")
fi

printf '%s\n' "${summary[@]}"
[ $failed -eq 0 ] || fail "some tests failed (see above)"
