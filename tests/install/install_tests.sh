#!/usr/bin/env bash
# The install tests: builds the packages (scripts/package.sh; the main ones
# signed with a certificate made for the test), checks their tables
# (validate_msi.py, with its self-test: each check fails on a package broken
# for it), and installs them silently into fresh Wine prefixes under
# BUILD_ROOT/install-tests, one prefix per test, as a technician's machine
# would get them:
#   validation         the tables read as Windows Installer and its ICE rules
#                      read them (what Wine's msiexec does not check)
#   install_uninstall  the signed x64 package with the simulated scanner: its
#                      signatures verify, files, shortcuts, version resources,
#                      the installed console with the installed device and
#                      injector, the type library from the registry; the x86
#                      package refuses to go beside it; uninstall leaves
#                      nothing of ours (registry compared before and after) and
#                      keeps a device entry someone else added
#   refusal            another server holds the OPOS Scanner class in a view:
#                      the feature is refused (ADDLOCAL, ALL, INSTALLLEVEL)
#                      with a message naming it, that registration stays as it
#                      was, the consoles install
#   foreign_after      another control object registered after the simulated
#                      scanner was installed: repair is refused, uninstall and
#                      an upgrade leave it byte for byte as it was; its
#                      interfaces alone are refused too
#   upgrade_repair     an older release (only the third field lower) is
#                      replaced, keeping the feature, the edited device
#                      settings and the user's statistics, as repair keeps
#                      them; a rebuild of the same version installs over it;
#                      repair restores a deleted file; a newer release is not
#                      replaced by this one
#   x86_on_32bit       the x86 package on 32-bit Windows (only where this
#                      machine runs 32-bit programs)
# Without a display it starts a virtual X server of its own. The last line
# says how many tests passed and failed.
# Usage: tests/install/install_tests.sh build-root [test...]   (default: all)
source "$(dirname "$0")/../../scripts/common.sh"
[ $# -ge 1 ] || fail "usage: tests/install/install_tests.sh build-root [test...]"
ensure_display "$0" "$@"
build=$(cd "$1" && pwd)
shift
only=" $* "
root=$build/install-tests
dist=$root/dist
# No menu entries on the Linux desktop for the shortcuts, no browser engine.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
clsid='{CCB90182-B81E-11D2-AB74-0040054C3719}'
inproc="HKLM\\Software\\Classes\\CLSID\\$clsid\\InprocServer32"
typelib='{60E8EFCF-11BB-42EA-81B8-6AD8A3E34676}'
dispatch_iid='{EDD93C8B-AE3F-40E7-97C9-65DD5F2DE181}'
events_iid='{AD5C907D-2B11-4921-A7E6-4779A7D47969}'
# Wine hands a Windows exit code to Linux modulo 256: 1603 (fatal error) is 67.
refused=$((1603 % 256))
version=$(product_version)

mkdir -p "$root"
for bits in $(runnable_bits "$build"); do
  cmake --build "$build/$(tree_of "$bits")" -j2 --target install_checks >/dev/null ||
    fail "building install_checks in the $bits-bit tree failed"
done
# A code signing certificate of the test's own for the main packages.
certificate=$root/signing
rm -rf "$certificate"
mkdir -p "$certificate"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillon test signing" \
  -addext extendedKeyUsage=codeSigning -keyout "$certificate/key.pem" -out "$certificate/cert.pem" 2>/dev/null
export QUILLON_SIGN_PASSWORD=quillon-test
openssl pkcs12 -export -inkey "$certificate/key.pem" -in "$certificate/cert.pem" -out "$certificate/test.pfx" \
  -passout env:QUILLON_SIGN_PASSWORD
"$here/scripts/package.sh" "$build" --out="$dist" --sign="$certificate/test.pfx" >/dev/null
unset QUILLON_SIGN_PASSWORD
# Older and newer releases differ in the third field; a rebuild has this very version.
older=$(echo "$version" | awk -F. -v OFS=. '{ $3 = $3 - 1; print }')
newer=$(echo "$version" | awk -F. -v OFS=. '{ $2 = $2 + 1; $3 = 0; print }')
"$here/scripts/package.sh" "$build" --out="$root/dist-old" --arch=x64 --version="$older" >/dev/null
"$here/scripts/package.sh" "$build" --out="$root/dist-new" --arch=x64 --version="$newer" >/dev/null
"$here/scripts/package.sh" "$build" --out="$root/dist-rebuild" --arch=x64 >/dev/null
msi64=$dist/Quillon-$version-x64.msi
msi86=$dist/Quillon-$version-x86.msi
old64=$root/dist-old/Quillon-$older-x64.msi
new64=$root/dist-new/Quillon-$newer-x64.msi
rebuild64=$root/dist-rebuild/Quillon-$version-x64.msi
winpath() { echo "Z:${1//\//\\}"; }
property() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }
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
  [ "$only" = "  " ] || [[ $only == *" $1 "* ]] || return 0
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

test_validation() {
  check "the signed packages' tables keep every rule, and each check can fail" \
    python3 "$here/tests/install/validate_msi.py" --self-test --signed="$certificate/cert.pem" "$msi64" "$msi86" \
      >"$root/validation.log" 2>&1
  check "an unsigned package's tables keep every rule" \
    python3 "$here/tests/install/validate_msi.py" "$rebuild64" >>"$root/validation.log" 2>&1
  grep -E 'FAILED|^    ' "$root/validation.log" | sed 's/^/install: validation: /' >&2 || true
  grep -E '^validate: [0-9]+ passed' "$root/validation.log" | sed 's/^/install: validation: /'
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
  for f in 'Program Files/Quillon/Quillon.exe' 'Program Files (x86)/Quillon/QuillonScanner.dll'; do
    check "installed C:/$f is signed and verifies" \
      osslsigncode verify -CAfile "$certificate/cert.pem" -in "$WINEPREFIX/drive_c/$f" >/dev/null 2>&1
  done
  check "the x86 package does not go beside the x64 one (1603)" [ "$(msi_rc /i "$(winpath "$msi86")" /qn)" = $refused ]
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
  check "silent install at level 2 is refused (1603)" [ "$(msi_rc /i "$(winpath "$msi64")" /qn INSTALLLEVEL=2)" = $refused ]
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

# Another installation's control object, registered over ours in both views
# (on), or taken away again (off); foreign_state prints it as system.reg holds it.
foreign_typelib='{5F1A7C3E-2B94-4D60-8E1F-7A3C9B2D4E51}'
foreign_server() { echo "C:\\Program Files$([ "$1" = 32 ] && echo ' (x86)')\\Other POS\\OtherScanner$1.ocx"; }
foreign() {
  local view iid
  for view in 64 32; do
    if [ "$1" = on ]; then
      wine64 reg add "$inproc" /ve /d "$(foreign_server $view)" /f /reg:$view
      wine64 reg add "$inproc" /v ThreadingModel /d Both /f /reg:$view
      wine64 reg add "HKLM\\Software\\Classes\\CLSID\\$clsid\\ProgID" /ve /d OPOS.Scanner.1 /f /reg:$view
      for iid in "$dispatch_iid" "$events_iid"; do
        wine64 reg add "HKLM\\Software\\Classes\\Interface\\$iid\\TypeLib" /ve /d "$foreign_typelib" /f /reg:$view
      done
    else
      wine64 reg delete "HKLM\\Software\\Classes\\CLSID\\$clsid" /f /reg:$view
      for iid in "$dispatch_iid" "$events_iid"; do
        wine64 reg delete "HKLM\\Software\\Classes\\Interface\\$iid" /f /reg:$view
      done
    fi
  done >/dev/null 2>&1
  if [ "$1" = on ]; then
    wine64 reg add 'HKLM\Software\Classes\OPOS.Scanner\CLSID' /ve /d "$clsid" /f
    wine64 reg add "HKLM\\Software\\Classes\\TypeLib\\$foreign_typelib\\1.0\\0\\win64" /ve /d "$(foreign_server 64)" /f
  else
    wine64 reg delete 'HKLM\Software\Classes\OPOS.Scanner' /f
    wine64 reg delete "HKLM\\Software\\Classes\\TypeLib\\$foreign_typelib" /f
  fi >/dev/null 2>&1
  settle
}
foreign_state() {
  settle
  awk -v pattern="${clsid:1:8}|OPOS\\.Scanner|${dispatch_iid:1:8}|${events_iid:1:8}|${foreign_typelib:1:8}" '
    /^\[/ { show = (tolower($0) ~ tolower(pattern)); sub(/\] [0-9]+$/, "]") }
    /^#time/ { next }
    show' "$WINEPREFIX/system.reg"
}
foreign_intact() { diff "$root/foreign_after.state" <(foreign_state) >&2; }

test_foreign_after() {
  new_prefix foreign_after 64
  check "the older release installs with the feature" \
    [ "$(msi_rc /i "$(winpath "$old64")" /qn ADDLOCAL=SimulatedScanner)" = 0 ] || return 0
  foreign on
  foreign_state >"$root/foreign_after.state"
  check "repair is refused (1603)" [ "$(msi_rc /i "$(winpath "$old64")" /qn REINSTALL=ALL REINSTALLMODE=pecms)" = $refused ]
  check "repair refused: the other registration intact" foreign_intact
  check "uninstall exits 0" [ "$(msi_rc /x "$(winpath "$old64")" /qn)" = 0 ]
  check "uninstalled: the other registration intact" foreign_intact
  check "uninstalled: our type library removed" [ -z "$(reg_value "HKLM\\Software\\Classes\\TypeLib\\$typelib\\1.0" /reg:64)" ]
  # Once more, for an upgrade: installed before the other control object came.
  foreign off
  check "the older release installs again with the feature" \
    [ "$(msi_rc /i "$(winpath "$old64")" /qn ADDLOCAL=SimulatedScanner)" = 0 ] || return 0
  foreign on
  # Windows migrates the feature on an upgrade; Wine does not, so it is asked for.
  check "an upgrade taking the feature along is refused (1603)" \
    [ "$(msi_rc /i "$(winpath "$msi64")" /qn ADDLOCAL=SimulatedScanner)" = $refused ]
  check "an upgrade with the consoles only exits 0" [ "$(msi_rc /i "$(winpath "$msi64")" /qn)" = 0 ]
  check "one entry, $version" [ "$(product_entries)" = "\"DisplayVersion\"=\"$version\"" ]
  check "upgraded: the other registration intact" foreign_intact
  check "uninstall exits 0" [ "$(msi_rc /x "$(winpath "$msi64")" /qn)" = 0 ]
  check "uninstalled: the other registration intact" foreign_intact
  # The class free again, the interfaces still another's: refused as well.
  local view
  for view in 64 32; do wine64 reg delete "HKLM\\Software\\Classes\\CLSID\\$clsid" /f /reg:$view; done >/dev/null 2>&1
  check "the feature is refused while the interfaces are another's (1603)" \
    [ "$(msi_rc /i "$(winpath "$msi64")" /qn ADDLOCAL=SimulatedScanner)" = $refused ]
}

# What a technician sets: the serial device's port and speed and the demo
# interval (each console reads its own view); device_settings prints them.
# And what the simulated scanner counts: statistics (statistics prints them).
device_key='HKLM\Software\OLEforRetail\ServiceOPOS\Scanner'
stats_key='HKCU\Software\Quillon\SimulatedScanner\QuillonSim'
edit_settings() {
  local view
  for view in 64 32; do
    wine64 reg add "$device_key\\QuillonSerial" /v Port /d COM$((view / 8)) /f /reg:$view
    wine64 reg add "$device_key\\QuillonSerial" /v BaudRate /t REG_DWORD /d 9600 /f /reg:$view
    wine64 reg add "$device_key\\QuillonSim" /v DemoInterval /t REG_DWORD /d $view /f /reg:$view
  done >/dev/null 2>&1
  wine64 reg add "$stats_key" /v stat.GoodScanCount /t REG_QWORD /d 42 /f >/dev/null 2>&1
}
device_settings() {
  local view
  for view in 64 32; do
    wine_run 64 reg query "$device_key\\QuillonSerial" /reg:$view 2>/dev/null | grep -E ' (Port|BaudRate) '
    wine_run 64 reg query "$device_key\\QuillonSim" /v DemoInterval /reg:$view 2>/dev/null | grep DemoInterval
  done
  true
}
settings_kept() { diff "$root/upgrade_repair.settings" <(device_settings | tr -d '\r') >&2; }
statistics_kept() { wine_run 64 reg query "$stats_key" /v stat.GoodScanCount >/dev/null 2>&1; }

test_upgrade_repair() {
  new_prefix upgrade_repair 64
  snapshot upgrade_repair.before
  check "the older release installs with the feature" \
    [ "$(msi_rc /i "$(winpath "$old64")" /qn ADDLOCAL=SimulatedScanner)" = 0 ] || return 0
  check "one entry, $older" [ "$(product_entries)" = "\"DisplayVersion\"=\"$older\"" ]
  edit_settings
  device_settings | tr -d '\r' >"$root/upgrade_repair.settings"
  check "the edits are in place" [ "$(grep -c . "$root/upgrade_repair.settings")" = 6 ]
  check "the statistics are in place" statistics_kept
  check "repair exits 0" [ "$(msi_rc /i "$(winpath "$old64")" /qn REINSTALL=ALL REINSTALLMODE=pecms)" = 0 ]
  check "repaired: the edited settings kept" settings_kept
  check "repaired: the statistics kept" statistics_kept
  # Windows keeps the features of the version replaced (the upgrade rows ask for it), Wine
  # does not (its action table misspells MigrateFeatureStates): the feature is named again,
  # as a fleet's install command would.
  check "this release installs over it (0)" [ "$(msi_rc /i "$(winpath "$msi64")" /qn ADDLOCAL=SimulatedScanner)" = 0 ]
  check "one entry, $version" [ "$(product_entries)" = "\"DisplayVersion\"=\"$version\"" ]
  check "upgraded: the edited settings kept" settings_kept
  # The statistics are kept on Windows, where the product an upgrade removes sees
  # UPGRADINGPRODUCTCODE (the validation checks the rows); Wine removes it without.
  check "a rebuild of this version installs over it (0)" \
    [ "$(msi_rc /i "$(winpath "$rebuild64")" /qn ADDLOCAL=SimulatedScanner)" = 0 ]
  check "one entry, the rebuild's" [ "$(product_entries)" = "\"DisplayVersion\"=\"$version\"" ] &&
    check "the rebuild's product code is installed" grep -q -i "$(property "$rebuild64" ProductCode | tr -d '{}')" \
      <(sed -n 's/^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\\({[^}]*}\).*/\1/p' "$WINEPREFIX/system.reg")
  check "the simulated scanner stays installed" [ -f "$WINEPREFIX/drive_c/Program Files/Quillon/QuillonScanner.dll" ]
  # Repair restores a deleted file.
  rm -f "$WINEPREFIX/drive_c/Program Files (x86)/Quillon/Quillon.exe"
  check "repair exits 0" [ "$(msi_rc /i "$(winpath "$rebuild64")" /qn REINSTALL=ALL REINSTALLMODE=pecms)" = 0 ]
  check "repair restored the deleted console" [ -f "$WINEPREFIX/drive_c/Program Files (x86)/Quillon/Quillon.exe" ]
  check "uninstall exits 0" [ "$(msi_rc /x "$(winpath "$rebuild64")" /qn)" = 0 ]
  check "no product entry left" [ -z "$(product_entries)" ]
  check "no folder of ours left" [ -z "$(find "$WINEPREFIX/drive_c" -iname '*quillon*' -print -quit)" ]
  # A newer release (higher in the first three fields) is not replaced by this one.
  check "a newer release installs (0)" [ "$(msi_rc /i "$(winpath "$new64")" /qn)" = 0 ]
  check "this release does not install over it (1603)" [ "$(msi_rc /i "$(winpath "$msi64")" /qn)" = $refused ]
  check "one entry, $newer" [ "$(product_entries)" = "\"DisplayVersion\"=\"$newer\"" ]
  check "the newer release uninstalls (0)" [ "$(msi_rc /x "$(winpath "$new64")" /qn)" = 0 ]
  snapshot upgrade_repair.after
  check "registry: nothing of any version left, settings included" \
    regdiff upgrade_repair.before upgrade_repair.after "$msi64" "$old64" "$new64" "$rebuild64"
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
run_test validation
run_test install_uninstall
run_test refusal
run_test foreign_after
run_test upgrade_repair
if can_run "$build" 32; then
  run_test x86_on_32bit
else
  echo "install: x86_on_32bit: not run (this machine cannot run 32-bit programs)"
fi
echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
