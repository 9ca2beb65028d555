#!/usr/bin/env bash
# Builds, then runs the benchmarks against the real console with the stand-in
# control object in the build root's private Wine prefix, and prints a table.
# Usage: scripts/bench.sh [build-root] [--bits=32|64] [--quick]
#                         [--only=throughput|latency|serial|memory|startup] [--dio=N] [--piece=BYTES]
#                         [--starts=N]
# --bits picks the console measured: the 32-bit one where this machine runs
# it, otherwise the 64-bit one. The figures depend on the machine: the table
# states the bitness and the processor count.
source "$(dirname "$0")/common.sh"
# Without a display, the whole run gets a virtual X server of its own.
ensure_display "$0" "$@"
build=${BUILD_DIR:-$here/build}
bits=""
args=()
for a in "$@"; do
  case "$a" in
    --bits=32 | --bits=64) bits=${a#--bits=} ;;
    --bits=*) fail "--bits takes 32 or 64" ;;
    --*) args+=("$a") ;;
    *) build=$a ;;
  esac
done
"$here/scripts/setup.sh" "$build" --bits="${bits:-auto}" >/dev/null
build=$(cd "$build" && pwd)
[ -n "$bits" ] || bits=$(default_bits "$build")
require_runnable "$build" "$bits"
tree=$build/$(tree_of "$bits")
# Start-up is measured for both bitnesses side by side where this machine
# runs both: the other tree is built too and given to the bench as its peer.
peer_bits=$((96 - bits))
if can_run "$build" "$peer_bits" && [[ " ${args[*]} " != *" --only="* || " ${args[*]} " == *" --only=startup "* ]]; then
  "$here/scripts/setup.sh" "$build" --bits="$peer_bits" >/dev/null
  args+=("--peer=Z:$(tr / '\\' <<<"$build/$(tree_of "$peer_bits")")")
fi
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all

# The measured device: the full simulated device without its demo feed, so
# that only injected labels reach the console while it is measured. It goes
# into the registry view of the measured console.
key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\Scanner\QuillonBench'
view=/reg:$bits
wineserver -p </dev/null >/dev/null 2>&1 || true
{
  wine_run 64 reg add "$key" /ve /d Quillon.SimulatedScanner /f $view
  wine_run 64 reg add "$key" /v Description /d "Quillon simulated scanner (benchmarks: no demo feed)" /f $view
  wine_run 64 reg add "$key" /v Model /d QS-1000 /f $view
  wine_run 64 reg add "$key" /v DemoInterval /t REG_DWORD /d 0 /f $view
  wine_run 64 reg add "$key" /v PowerReporting /t REG_DWORD /d 2 /f $view
  wine_run 64 reg add "$key" /v Statistics /t REG_DWORD /d 1 /f $view
  wine_run 64 reg add "$key" /v UpdateStatistics /t REG_DWORD /d 1 /f $view
  wine_run 64 reg add "$key" /v DirectIO /t REG_DWORD /d 1 /f $view
} </dev/null >/dev/null 2>&1 || fail "could not add the QuillonBench device entry"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $("$(wine_loader 64)" --version 2>/dev/null); $bits-bit console"
rc=0
# The serial device reads COM5; the feeder puts a pseudo-terminal behind it
# for the time of the run and writes the labels the bench asks for.
python3 "$here/tests/control/serial_feeder.py" "$WINEPREFIX/dosdevices/com5" -- \
  env WINELOADER="$(wine_loader "$bits")" "$(wine_loader "$bits")" "$tree/bench/quillon_bench.exe" "${args[@]}" </dev/null || rc=$?
wineserver -k </dev/null >/dev/null 2>&1 || true
[ $rc -eq 0 ] || fail "quillon_bench ended with exit status $rc"
