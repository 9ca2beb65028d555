#!/usr/bin/env bash
# Registers the stand-in scanner control object (QuillonScanner.dll) and the
# simulated scanner device entries in the build root's private Wine prefix,
# and nowhere else: the 64-bit control in the native registry view, the 32-bit
# one in the 32-bit view, each bitness that is built and that this machine
# runs, with the device entries in each view that has a control. Refuses a
# view in which the OPOS Scanner class is already registered to some other
# server. Quick when everything is in place.
# Usage: scripts/register-control.sh build-root
source "$(dirname "$0")/common.sh"
[ $# -eq 1 ] || fail "usage: scripts/register-control.sh build-root"
build=$(cd "$1" && pwd)
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all
clsid='{CCB90182-B81E-11D2-AB74-0040054C3719}'
entries_version=3

[ -f "$WINEPREFIX/system.reg" ] || fail "no Wine prefix at $WINEPREFIX (run scripts/prefix.sh)"

# A value of a key of HKLM as the prefix's registry file holds it (key path
# without the root, single backslashes; value name, @ for the default), with
# doubled backslashes as the file has them. Key names are compared without case.
registry_value() {
  local key
  key=$(printf '%s' "$1" | sed 's/\\/\\\\/g')
  KEY="[${key,,}]" NAME="$2" awk '
    BEGIN { key = ENVIRON["KEY"]; name = ENVIRON["NAME"]; want = (name == "@") ? "@=\"" : "\"" name "\"=\"" }
    { line = tolower($0) }
    index(line, key) == 1 && substr(line, length(key) + 1, 1) ~ /^( |)$/ { inside = 1; next }
    inside && /^\[/ { exit }
    inside && index($0, want) == 1 { v = substr($0, length(want) + 1); sub(/"$/, "", v); print v; exit }
  ' "$WINEPREFIX/system.reg"
}

# Registry paths of a view: the 32-bit view of a 64-bit prefix lies under
# Wow6432Node, as on 64-bit Windows.
classes_of() { if [ "$1" = 64 ]; then echo 'Software\Classes'; else echo 'Software\Classes\Wow6432Node'; fi; }
software_of() { if [ "$1" = 64 ]; then echo 'Software'; else echo 'Software\Wow6432Node'; fi; }

# The device entries (control/devices.reg) for a view, each key marked with
# the version of these entries, so that a later run knows them as current.
device_entries() {
  local software
  software=$(software_of "$1")
  awk -v software="${software//\\/\\\\}" -v marker="\"QuillonEntries\"=\"$entries_version\"" '
    /^REGEDIT4/ || /^;/ { next }
    /^\[/ { sub(/^\[HKEY_LOCAL_MACHINE\\SOFTWARE\\/, "[HKEY_LOCAL_MACHINE\\" software "\\"); print; print marker; next }
    { print }
  ' "$here/control/devices.reg"
}

register_view() {
  local bits=$1 dll winpath escaped registered
  dll=$build/$(tree_of "$bits")/control/QuillonScanner.dll
  [ -f "$dll" ] || return 0 # that tree is not built (scripts/run.sh builds one)
  # The Windows path of our DLL, as regsvr32 records it, with doubled
  # backslashes as in Wine's registry files.
  winpath="Z:${dll//\//\\}"
  escaped=${winpath//\\/\\\\}
  registered=$(registry_value "$(classes_of "$bits")\\CLSID\\$clsid\\InprocServer32" @)

  if [ -n "$registered" ] && [ "$registered" != "$escaped" ]; then
    case "${registered,,}" in
      *'\\quillonscanner.dll') ;; # ours from another build tree: take it over
      *)
        echo "register-control: refusing the $bits-bit view: $clsid is already registered in $WINEPREFIX to $registered" >&2
        echo "register-control: that is not the stand-in control object; nothing was changed in that view" >&2
        return 1 ;;
    esac
  fi

  local present
  present=$(registry_value "$(software_of "$bits")\\OLEforRetail\\ServiceOPOS\\Scanner\\QuillonSerial" QuillonEntries)
  if [ "$registered" = "$escaped" ] && [ "$present" = "$entries_version" ]; then
    echo "register-control: the $bits-bit control is already registered in $WINEPREFIX"
    return 0
  fi

  # Not ours yet, or entries of an older version, which come with an older
  # self-registration (the type library came later): register again.
  wine_run "$bits" regsvr32 /s "$winpath" </dev/null >/dev/null 2>&1 ||
    fail "$bits-bit regsvr32 failed for $winpath"
  entries+=$(device_entries "$bits")$'\n\n'
  echo "register-control: registered $winpath in the $bits-bit view of $WINEPREFIX"
}

entries=""
refused=0
for bits in $(runnable_bits "$build"); do
  register_view "$bits" || refused=1
done

if [ -n "$entries" ]; then
  reg=$(mktemp --suffix=.reg)
  trap 'rm -f "$reg"' EXIT
  printf 'REGEDIT4\n\n%s' "$entries" >"$reg"
  # The 64-bit regedit writes each path as given: the 32-bit view's entries
  # carry Wow6432Node in their paths.
  wine_run 64 regedit /S "Z:${reg//\//\\}" </dev/null >/dev/null 2>&1 || fail "importing the device entries failed"
  echo "register-control: device entries QuillonSim, QuillonSimPlain, QuillonSerial written"
fi
exit $refused
