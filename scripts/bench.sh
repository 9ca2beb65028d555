#!/usr/bin/env bash
# Builds, then runs the benchmarks against the real console with the stand-in
# control object in the build tree's private Wine prefix, and prints a table.
# Usage: scripts/bench.sh [build-dir] [--quick]
# The figures depend on the machine: the table states its processor count.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
args=()
for a in "$@"; do
  case "$a" in
    --*) args+=("$a") ;;
    *) build=$a ;;
  esac
done
"$here/scripts/setup.sh" "$build" >/dev/null
build=$(cd "$build" && pwd)
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all

if [ -z "${DISPLAY:-}" ]; then
  # A private virtual X server for this run, ended on exit.
  for n in $(seq 90 140); do [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break; done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
  export DISPLAY=":$n"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
fi

# The measured device: the full simulated device without its demo feed, so
# that only injected labels reach the console while it is measured.
key='HKLM\SOFTWARE\OLEforRetail\ServiceOPOS\Scanner\QuillonBench'
wineserver -p </dev/null >/dev/null 2>&1 || true
{
  wine reg add "$key" /ve /d Quillon.SimulatedScanner /f
  wine reg add "$key" /v Description /d "Quillon simulated scanner (benchmarks: no demo feed)" /f
  wine reg add "$key" /v Model /d QS-1000 /f
  wine reg add "$key" /v DemoInterval /t REG_DWORD /d 0 /f
  wine reg add "$key" /v PowerReporting /t REG_DWORD /d 2 /f
  wine reg add "$key" /v Statistics /t REG_DWORD /d 1 /f
  wine reg add "$key" /v UpdateStatistics /t REG_DWORD /d 1 /f
  wine reg add "$key" /v DirectIO /t REG_DWORD /d 1 /f
} </dev/null >/dev/null 2>&1

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(wine --version 2>/dev/null)"
rc=0
# The serial device reads COM5; the feeder puts a pseudo-terminal behind it
# for the time of the run and writes the labels the bench asks for.
feeder=$here/tests/control/serial_feeder.py
if [ -f "$feeder" ]; then
  python3 "$feeder" "$WINEPREFIX/dosdevices/com5" -- wine "$build/bench/quillon_bench.exe" "${args[@]}" </dev/null || rc=$?
else
  wine "$build/bench/quillon_bench.exe" "${args[@]}" </dev/null || rc=$?
fi
wineserver -k </dev/null >/dev/null 2>&1 || true
exit $rc
