#!/usr/bin/env bash
# The install tests: builds the packages (scripts/package.sh) and installs them
# silently into fresh Wine prefixes under BUILD_ROOT/install-tests, one prefix
# per test, as a technician's machine would get them:
#   install_uninstall  the x64 package with the simulated scanner: files,
#                      shortcuts, version resources, the installed console with
#                      the installed device and injector, the type library from
#                      the registry; uninstall leaves nothing of ours (registry
#                      compared before and after) and keeps a device entry
#                      someone else added
#   refusal            another server holds the OPOS Scanner class in a view:
#                      the feature is refused with a message naming it, that
#                      registration stays as it was, the consoles install
#   upgrade_repair     a lower version (1.1.0.5: only the last field differs)
#                      is replaced (one product entry, the feature kept),
#                      repair restores a deleted file, a higher version
#                      (1.2.0.0) is not replaced by this one
#   x86_on_32bit       the x86 package on 32-bit Windows (only where this
#                      machine runs 32-bit programs)
# Without a display it starts a virtual X server of its own. The last line
# says how many tests passed and failed.
# Usage: tests/install/install_tests.sh build-root
source "$(dirname "$0")/../../scripts/common.sh"
[ $# -eq 1 ] || fail "usage: tests/install/install_tests.sh build-root"
[ -n "${DISPLAY:-}" ] || exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$0" "$@"
build=$(cd "$1" && pwd)
root=$build/install-tests
dist=$root/dist
# No menu entries on the Linux desktop for the shortcuts, no browser engine.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
clsid='{CCB90182-B81E-11D2-AB74-0040054C3719}'
inproc="HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32"
# Wine hands a Windows exit code to Linux modulo 256: 1603 (fatal error) is 67.
refused=$((1603 % 256))
version=$(sed -n 's/^#define QUILLON_VERSION_[A-Z]* \([0-9]*\)$/\1/p' "$here/version/version.h" | paste -sd.)

mkdir -p "$root"
for bits in $(runnable_bits "$build"); do
  cmake --build "$build/$(tree_of "$bits")" -j2 --target install_checks >/dev/null ||
    fail "building install_checks in the $bits-bit tree failed"
done
"$here/scripts/package.sh" "$build" --out="$dist" >/dev/null
"$here/scripts/package.sh" "$build" --out="$root/dist-old" --arch=x64 --version=1.1.0.5 >/dev/null
"$here/scripts/package.sh" "$build" --out="$root/dist-new" --arch=x64 --version=1.2.0.0 >/dev/null
msi64=$dist/Quillon-$version-x64.msi
msi86=$dist/Quillon-$version-x86.msi
old64=$root/dist-old/Quillon-1.1.0.5-x64.msi
new64=$root/dist-new/Quillon-1.2.0.0-x64.msi
winpath() { echo "Z:${1//\//\\}"; }
property() { msiinfo export "$1" Property | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }
upgrade_codes() { msiinfo export "$1" Upgrade | awk -F'\t' 'NR > 3 { print $1 }' | sort -u; }

failures=()
current=""
check() { # check DESCRIPTION COMMAND...: a failed check fails the current test
  local what=$1
  shift
  if ! "$@"; then
    echo "install: $current: FAILED: $what" >&2
    failures+=("$current: $what")
    return 1
  fi
}

# A fresh prefix of the given bitness (64: 64-bit Windows, 32: 32-bit Windows).
new_prefix() {
  export WINEPREFIX=$root/$1 WINEARCH=win$2
  prefix_bits=$2
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  boot_prefix "$2"
  settle
}
# The registry reaches its files when the server ends; a server that stays
# keeps each later Wine process quick. Neither holds this script's output.
settle() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
  wineserver -p </dev/null >/dev/null 2>&1
  # Wine's own services start with the first program and inherit its output.
  wine_run "$prefix_bits" cmd /c exit </dev/null >/dev/null 2>&1 || true
}
snapshot() { settle && mkdir -p "$root/$1" && cp "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" "$root/$1/"; }
wine64() { wine_run 64 "$@"; }
msiexec() { # msiexec ARGS...: the exit code as Wine hands it over
  local rc=0
  wine_run "$prefix_bits" msiexec "$@" </dev/null >/dev/null 2>&1 || rc=$?
  return $rc
}
msi_rc() { local rc=0; msiexec "$@" || rc=$?; echo $rc; }
reg_value() { # reg_value KEY VIEW: the default value, or nothing
  wine_run "$prefix_bits" reg query "$1" /ve "$2" 2>/dev/null | tr -d '\r' | sed -n 's/^ *(Default) *REG_SZ *//p'
}
# install_checks of a bitness with a gtest filter, in the current prefix.
checks() {
  local bits=$1 filter=$2 log=$root/$current.checks.log rc=0
  wine_run "$bits" "$build/$(tree_of "$bits")/tests/install/install_checks.exe" --gtest_filter="$filter" \
    </dev/null >"$log" 2>&1 || rc=$?
  grep -E '^\[  (PASSED|FAILED|SKIPPED) |installer.s message' "$log" | sed "s/^/install: $current: /"
  if [ $rc -ne 0 ]; then grep -v '^\[ *\(RUN\|OK\) ' "$log" >&2; fi
  return $rc
}
drive_c_files() { (cd "$WINEPREFIX/drive_c" && find . | sort); }
ours_in_files() { grep -i -E 'quillon|scaninject' "$1" || true; }
regdiff() { # regdiff BEFORE AFTER PACKAGE... [--keep KEY]
  local before=$1 after=$2 args=() m
  shift 2
  while [ $# -gt 0 ]; do
    case "$1" in
      --keep) args+=(--keep "$2"); shift 2 ;;
      *) args+=(--guid "$(property "$1" ProductCode)")
         for m in $(upgrade_codes "$1"); do args+=(--guid "$m"); done
         shift ;;
    esac
  done
  python3 "$here/tests/install/regdiff.py" "$root/$before" "$root/$after" \
    --ours 'quillon|opos\.scanner|60E8EFCF-11BB-42EA-81B8-6AD8A3E34676|EDD93C8B-AE3F-40E7-97C9-65DD5F2DE181|AD5C907D-2B11-4921-A7E6-4779A7D47969' \
    --guid "$clsid" "${args[@]}"
}

run_test() {
  current=$1
  local before=${#failures[@]} start=$SECONDS
  echo "install: $current ..."
  # In a condition, a failing command does not end the script: the checks count.
  if "test_$1"; then :; fi
  wineserver -k >/dev/null 2>&1 || true
  if [ ${#failures[@]} -eq "$before" ]; then
    rm -rf "$root/$current" # a failed test's prefix stays for a look
    echo "install: $current: passed ($((SECONDS - start)) s)"
    passed=$((passed + 1))
  else
    echo "install: $current: FAILED ($((SECONDS - start)) s)"
    failed=$((failed + 1))
  fi
}

test_install_uninstall() {
  new_prefix install_uninstall 64
  snapshot install_uninstall.before
  drive_c_files >"$root/install_uninstall.files-before"
  check "install with the simulated scanner exits 0" [ "$(msi_rc /i "$(winpath "$msi64")" /qn ADDLOCAL=SimulatedScanner)" = 0 ] || return 0
  local f
  for f in 'Program Files/Quillon/Quillon.exe' 'Program Files/Quillon/QuillonScanner.dll' \
           'Program Files/Quillon/scaninject.exe' 'Program Files (x86)/Quillon/Quillon.exe' \
           'Program Files (x86)/Quillon/QuillonScanner.dll' 'Program Files (x86)/Quillon/scaninject.exe'; do
    check "installed: C:/$f" [ -f "$WINEPREFIX/drive_c/$f" ]
  done
  settle
  check "one product entry with version $version" \
    [ "$(grep -A40 -i '^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\{' "$WINEPREFIX/system.reg" | grep -c "^\"DisplayVersion\"=\"$version\"")" = 1 ]
  # Someone adds a device entry of their own: it stays.
  wine64 reg add 'HKLM\Software\OLEforRetail\ServiceOPOS\Scanner\OtherScanner' /ve /d Other.Scanner.Service /f >/dev/null 2>&1
  check "64-bit: installed files, shortcut, console, injector, type library" \
    checks 64 'Installed.*:InstalledConsole.*:TypeLibrary.*'
  if can_run "$build" 32; then
    check "32-bit: installed files, shortcut, console, injector, type library" \
      checks 32 'Installed.*:InstalledConsole.*:TypeLibrary.*'
  fi
  check "uninstall exits 0" [ "$(msi_rc /x "$(winpath "$msi64")" /qn)" = 0 ]
  snapshot install_uninstall.after
  check "registry: nothing of ours left, nothing else removed" \
    regdiff install_uninstall.before install_uninstall.after "$msi64" \
      --keep 'Software\OLEforRetail\ServiceOPOS\Scanner\OtherScanner'
  drive_c_files >"$root/install_uninstall.files-after"
  local left
  left=$(comm -13 "$root/install_uninstall.files-before" "$root/install_uninstall.files-after")
  [ -z "$left" ] || echo "install: files added and left (not ours unless listed below):"$'\n'"$left"
  check "no file or shortcut of ours left" [ -z "$(ours_in_files <(echo "$left"))" ]
}

test_refusal() {
  new_prefix refusal 64
  local server32='C:\Program Files (x86)\Other POS\OtherScanner32.ocx'
  local server64='C:\Program Files\Other POS\OtherScanner64.ocx'
  # Another installation's control object, in the 32-bit view first.
  wine64 reg add "$inproc" /ve /d "$server32" /f /reg:32 >/dev/null 2>&1
  wine64 reg add "$inproc" /v ThreadingModel /d Apartment /f /reg:32 >/dev/null 2>&1
  settle
  grep -i -A3 'CCB90182' "$WINEPREFIX/system.reg" | grep -v '^#time' | sed 's/\] [0-9]*$/]/' >"$root/refusal.class-before"
  check "silent install asking for the feature is refused (1603)" \
    [ "$(msi_rc /i "$(winpath "$msi64")" /qn ADDLOCAL=SimulatedScanner)" = $refused ]
  check "silent install of ALL is refused (1603)" [ "$(msi_rc /i "$(winpath "$msi64")" /qn ADDLOCAL=ALL)" = $refused ]
  # Interactively, the message names the registered server.
  local rc=0
  msiexec /i "$(winpath "$msi64")" /qb ADDLOCAL=SimulatedScanner &
  local installer=$!
  QUILLON_REFUSED_SERVER=$server32 QUILLON_REFUSED_VIEW=32-bit WINEDEBUG=-all \
    check "the message names the 32-bit view's server" checks 64 'Refusal.*'
  wait $installer || rc=$?
  check "interactive install asking for the feature is refused (1603)" [ $rc = $refused ]
  # Then in the 64-bit view too: that one is named first.
  wine64 reg add "$inproc" /ve /d "$server64" /f /reg:64 >/dev/null 2>&1
  settle
  grep -i -A3 'CCB90182' "$WINEPREFIX/system.reg" | grep -v '^#time' | sed 's/\] [0-9]*$/]/' >"$root/refusal.class-before"
  rc=0
  msiexec /i "$(winpath "$msi64")" /qb ADDLOCAL=SimulatedScanner &
  installer=$!
  QUILLON_REFUSED_SERVER=$server64 QUILLON_REFUSED_VIEW=64-bit \
    check "the message names the 64-bit view's server" checks 64 'Refusal.*'
  wait $installer || rc=$?
  check "refused again (1603)" [ $rc = $refused ]
  check "nothing installed by the refused installs" [ ! -e "$WINEPREFIX/drive_c/Program Files/Quillon" ]
  # The consoles install beside the other control object.
  check "the consoles alone install (0)" [ "$(msi_rc /i "$(winpath "$msi64")" /qn)" = 0 ]
  check "64-bit console installed" [ -f "$WINEPREFIX/drive_c/Program Files/Quillon/Quillon.exe" ]
  check "32-bit console installed" [ -f "$WINEPREFIX/drive_c/Program Files (x86)/Quillon/Quillon.exe" ]
  check "no control object installed" [ ! -e "$WINEPREFIX/drive_c/Program Files/Quillon/QuillonScanner.dll" ]
  settle
  check "the other registration is unchanged" \
    diff "$root/refusal.class-before" <(grep -i -A3 'CCB90182' "$WINEPREFIX/system.reg" | grep -v '^#time' | sed 's/\] [0-9]*$/]/')
  check "its 64-bit value" [ "$(reg_value "$inproc" /reg:64)" = "$server64" ]
  check "its 32-bit value" [ "$(reg_value "$inproc" /reg:32)" = "$server32" ]
  check "uninstall exits 0" [ "$(msi_rc /x "$(winpath "$msi64")" /qn)" = 0 ]
  check "the other registration survives the uninstall" [ "$(reg_value "$inproc" /reg:32)" = "$server32" ]
}

product_entries() { # the Programs and Features entries named Quillon, as "DisplayVersion" lines
  settle
  grep -A40 -i '^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\{' "$WINEPREFIX/system.reg" |
    awk '/^\[/ { name = 0 } /^"DisplayName"="Quillon"$/ { name = 1 } /^"DisplayVersion"=/ { v = $0 } /^$/ { if (name) print v; name = 0 }'
}

test_upgrade_repair() {
  new_prefix upgrade_repair 64
  snapshot upgrade_repair.before
  check "the lower version installs with the feature" \
    [ "$(msi_rc /i "$(winpath "$old64")" /qn ADDLOCAL=SimulatedScanner)" = 0 ] || return 0
  check "one entry, 1.1.0.5" [ "$(product_entries)" = '"DisplayVersion"="1.1.0.5"' ]
  # Windows keeps the features of the version replaced (the upgrade rows ask for it), Wine
  # does not (its action table misspells MigrateFeatureStates): the feature is named again,
  # as a fleet's install command would.
  check "this version installs over it (0)" [ "$(msi_rc /i "$(winpath "$msi64")" /qn ADDLOCAL=SimulatedScanner)" = 0 ]
  check "one entry, $version" [ "$(product_entries)" = "\"DisplayVersion\"=\"$version\"" ]
  check "the simulated scanner stays installed" [ -f "$WINEPREFIX/drive_c/Program Files/Quillon/QuillonScanner.dll" ]
  # Repair restores a deleted file.
  rm -f "$WINEPREFIX/drive_c/Program Files (x86)/Quillon/Quillon.exe"
  check "repair exits 0" [ "$(msi_rc /i "$(winpath "$msi64")" /qn REINSTALL=ALL REINSTALLMODE=pecms)" = 0 ]
  check "repair restored the deleted console" [ -f "$WINEPREFIX/drive_c/Program Files (x86)/Quillon/Quillon.exe" ]
  check "uninstall exits 0" [ "$(msi_rc /x "$(winpath "$msi64")" /qn)" = 0 ]
  settle
  check "no product entry left" [ -z "$(product_entries)" ]
  check "no folder of ours left" [ -z "$(find "$WINEPREFIX/drive_c" -iname '*quillon*' -print -quit)" ]
  # A newer version (higher in the first three fields) is not replaced by this one.
  check "a newer version installs (0)" [ "$(msi_rc /i "$(winpath "$new64")" /qn)" = 0 ]
  check "this version does not install over it (1603)" [ "$(msi_rc /i "$(winpath "$msi64")" /qn)" = $refused ]
  check "one entry, 1.2.0.0" [ "$(product_entries)" = '"DisplayVersion"="1.2.0.0"' ]
  check "the newer version uninstalls (0)" [ "$(msi_rc /x "$(winpath "$new64")" /qn)" = 0 ]
  snapshot upgrade_repair.after
  check "registry: nothing of any version left" \
    regdiff upgrade_repair.before upgrade_repair.after "$msi64" "$old64" "$new64"
}

# The x86 package on 32-bit Windows: only where this machine runs 32-bit programs.
test_x86_on_32bit() {
  new_prefix x86_on_32bit 32
  snapshot x86_on_32bit.before
  check "install with the simulated scanner exits 0" [ "$(msi_rc /i "$(winpath "$msi86")" /qn ADDLOCAL=SimulatedScanner)" = 0 ] || return 0
  check "installed in Program Files" [ -f "$WINEPREFIX/drive_c/Program Files/Quillon/Quillon.exe" ]
  check "32-bit: installed files, shortcut, console, injector, type library" \
    checks 32 'Installed.*:InstalledConsole.*:TypeLibrary.*'
  check "uninstall exits 0" [ "$(msi_rc /x "$(winpath "$msi86")" /qn)" = 0 ]
  snapshot x86_on_32bit.after
  check "registry: nothing of ours left" regdiff x86_on_32bit.before x86_on_32bit.after "$msi86"
  check "no folder of ours left" [ -z "$(find "$WINEPREFIX/drive_c" -iname '*quillon*' -print -quit)" ]
}

passed=0
failed=0
run_test install_uninstall
run_test refusal
run_test upgrade_repair
if can_run "$build" 32; then
  run_test x86_on_32bit
else
  echo "install: x86_on_32bit: not run (this machine cannot run 32-bit programs)"
fi
echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
