#!/usr/bin/env bash
# Registers the stand-in scanner control object (QuillonScanner.dll) and the
# simulated scanner device entries in the build tree's private Wine prefix,
# and nowhere else. Refuses when the OPOS Scanner class is already registered
# in that prefix to some other server. Quick when everything is in place.
# Usage: scripts/register-control.sh build-dir
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 build-dir" >&2; exit 2; }
build=$(cd "$1" && pwd)
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
dll=$build/control/QuillonScanner.dll
clsid='{CCB90182-B81E-11D2-AB74-0040054C3719}'
entries_version=2

[ -f "$WINEPREFIX/system.reg" ] || { echo "register-control: no Wine prefix at $WINEPREFIX (run scripts/prefix.sh)" >&2; exit 1; }
[ -f "$dll" ] || { echo "register-control: $dll is not built" >&2; exit 1; }

# The Windows path of our DLL, as regsvr32 records it, with doubled backslashes
# as in Wine's registry files.
winpath="Z:${dll//\//\\}"
escaped=${winpath//\\/\\\\}

# The registered server of the class, read from the prefix's registry file.
registered=$(awk -v key="[Software\\\\\\\\Classes\\\\\\\\CLSID\\\\\\\\$clsid\\\\\\\\InprocServer32]" '
  index($0, key) == 1 { inside = 1; next }
  inside && /^\[/ { exit }
  inside && /^@="/ { v = substr($0, 4); sub(/"$/, "", v); print v; exit }
' "$WINEPREFIX/system.reg")

if [ -n "$registered" ] && [ "$registered" != "$escaped" ]; then
  case "${registered,,}" in
    *'\\quillonscanner.dll') ;; # ours from another build tree: take it over
    *)
      echo "register-control: refusing: $clsid is already registered in $WINEPREFIX to $registered" >&2
      echo "register-control: that is not the stand-in control object; nothing was changed" >&2
      exit 1 ;;
  esac
fi

entries_present() {
  grep -q "^\"QuillonEntries\"=\"$entries_version\"" "$WINEPREFIX/system.reg"
}

if [ "$registered" = "$escaped" ] && entries_present; then
  echo "register-control: already registered in $WINEPREFIX"
  exit 0
fi

if [ "$registered" != "$escaped" ]; then
  wine regsvr32 /s "$winpath" </dev/null >/dev/null 2>&1 || {
    echo "register-control: regsvr32 failed for $winpath" >&2; exit 1; }
fi

reg=$(mktemp --suffix=.reg)
trap 'rm -f "$reg"' EXIT
cat >"$reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\QuillonSim]
@="Quillon.SimulatedScanner"
"Description"="Quillon simulated scanner (full: statistics, power reporting, Direct IO)"
"Model"="QS-1000"
"DemoInterval"=dword:00000bb8
"PowerReporting"=dword:00000002
"Statistics"=dword:00000001
"UpdateStatistics"=dword:00000001
"DirectIO"=dword:00000001
"QuillonEntries"="$entries_version"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\QuillonSimPlain]
@="Quillon.SimulatedScanner"
"Description"="Quillon simulated scanner (plain: no statistics, no power reporting)"
"Model"="QS-100"
"DemoInterval"=dword:00000bb8
"PowerReporting"=dword:00000000
"Statistics"=dword:00000000
"DirectIO"=dword:00000000
"QuillonEntries"="$entries_version"

[HKEY_LOCAL_MACHINE\\SOFTWARE\\OLEforRetail\\ServiceOPOS\\Scanner\\QuillonSerial]
@="Quillon.SerialScanner"
"Description"="Quillon serial scanner (COM5, 115200 8N1, suffix CR, AIM identifiers)"
"Port"="COM5"
"BaudRate"=dword:0001c200
"DataBits"=dword:00000008
"Parity"="N"
"StopBits"="1"
"Suffix"="CR"
"AimIds"=dword:00000001
"PowerReporting"=dword:00000002
"QuillonEntries"="$entries_version"
REG
wine regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1 || {
  echo "register-control: importing the device entries failed" >&2; exit 1; }
echo "register-control: registered $winpath and the devices QuillonSim, QuillonSimPlain, QuillonSerial in $WINEPREFIX"
