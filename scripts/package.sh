#!/usr/bin/env bash
# Builds the packages for Windows into dist/ (or --out): the x64 package
# (64-bit and 32-bit console), the x86 package (32-bit console), each with the
# optional feature "Simulated scanner", and a zip of the two consoles (and their
# checkers) alone.
# Builds what is missing in both build trees first. Nothing is downloaded:
# Debian's wixl makes the packages, msitools finish them
# (packaging/finish_msi.py), osslsigncode signs them.
# Versions: A.B.C.D, where A.B.C names a release (Windows Installer compares
# these three fields only) and D (1 or more) counts the builds of a release.
# Every package is a product of its own (a new product code each time), so a
# rebuild installs over the installed build of its release, and an older
# release refuses to install over a newer one.
# Usage: scripts/package.sh [build-root] [--out=DIR] [--arch=x64,x86] [--version=A.B.C.D]
#                           [--sign=FILE.pfx [--timestamp=URL]]
#   --version    the packages' version instead of version/version.h's (the
#                binaries keep theirs); for testing upgrades
#   --sign       signs every program file and both packages (Authenticode,
#                SHA-256) with the certificate and key of FILE.pfx, whose
#                password is in QUILLON_SIGN_PASSWORD (unset: none); unsigned
#                without it
#   --timestamp  the RFC 3161 time-stamping server to countersign with
source "$(dirname "$0")/common.sh"

build=${BUILD_DIR:-$here/build}
out=$here/dist
arches=(x64 x86)
version=""
pfx=""
timestamp=""
usage="usage: scripts/package.sh [build-root] [--out=DIR] [--arch=x64,x86] [--version=A.B.C.D] [--sign=FILE.pfx [--timestamp=URL]]"
for a in "$@"; do
  case "$a" in
    --out=*) out=${a#--out=} ;;
    --arch=*) IFS=, read -r -a arches <<<"${a#--arch=}" ;;
    --version=*) version=${a#--version=} ;;
    --sign=*) pfx=${a#--sign=} ;;
    --timestamp=*) timestamp=${a#--timestamp=} ;;
    --*) fail "unknown option $a ($usage)" ;;
    *) build=$a ;;
  esac
done
for arch in "${arches[@]}"; do
  [ "$arch" = x64 ] || [ "$arch" = x86 ] || fail "--arch takes x64, x86 or x64,x86, not '$arch'"
done

[ -n "$version" ] || version=$(product_version)
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] || fail "the version must be four numbers A.B.C.D, not '$version'"
# Windows Installer's limits (255.255.65535), and a build number of 1 or more: the
# packages replace everything up to A.B.C, which must stay below their own version.
((BASH_REMATCH[1] <= 255 && BASH_REMATCH[2] <= 255 && BASH_REMATCH[3] <= 65535 &&
  BASH_REMATCH[4] >= 1 && BASH_REMATCH[4] <= 65535)) ||
  fail "the version $version is out of range: A and B up to 255, C up to 65535, the build number D from 1 to 65535"
release=${version%.*}
[ -z "$timestamp" ] || [ -n "$pfx" ] || fail "--timestamp needs --sign"
[ -z "$pfx" ] || [ -f "$pfx" ] || fail "no certificate file $pfx"
[ -z "$pfx" ] || pfx=$(cd "$(dirname "$pfx")" && pwd)/$(basename "$pfx")

command -v wixl >/dev/null || fail "wixl is missing (run scripts/setup.sh, which installs it)"
command -v msibuild >/dev/null || fail "msibuild is missing (run scripts/setup.sh, which installs msitools)"
command -v zip >/dev/null || fail "zip is missing (run scripts/setup.sh, which installs it)"
[ -z "$pfx" ] || command -v osslsigncode >/dev/null || fail "osslsigncode is missing (run scripts/setup.sh, which installs it)"

# The program files the packages carry, as the package source names them: "x64/app/Quillon.exe" ...
# (each one's CMake target is its name without the extension).
mapfile -t program_files < <(sed -n 's/.*Source="\$(var\.Tree\(64\|32\))\/\([^"]*\)".*/\1 \2/p' \
  "$here/packaging/quillon.wxs" | sed 's/^64 /x64\//; s/^32 /x86\//' | sort -u)
[ ${#program_files[@]} -gt 0 ] || fail "packaging/quillon.wxs names no program file"

# Both consoles go into the x64 package, so both trees are needed for any package.
[ -f "$build/x64/CMakeCache.txt" ] && [ -f "$build/x86/CMakeCache.txt" ] || "$here/scripts/setup.sh" "$build" >&2
build=$(cd "$build" && pwd)
for tree in x64 x86; do
  targets=$(printf '%s\n' "${program_files[@]}" | sed -n "s|^$tree/.*/\([^/]*\)\.[a-z]*$|\1|p" | sort -u | xargs)
  cmake --build "$build/$tree" -j2 --target $targets >/dev/null ||
    fail "building the $tree tree failed (run: cmake --build $build/$tree --target $targets)"
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
# QUILLON_KEEP_WORK=1 keeps the working folder (wixl's sources, the staged files) for a look.
trap 'if [ -n "${QUILLON_KEEP_WORK:-}" ]; then echo "package: working folder kept: $work" >&2; else rm -rf "$work"; fi' EXIT

# Signs files in place (Authenticode, SHA-256), with the password from the environment.
sign() {
  local file args=(-pkcs12 "$pfx" -h sha256 -n "$(text_define QUILLON_PRODUCT_NAME)")
  if [ -n "${QUILLON_SIGN_PASSWORD:-}" ]; then
    (umask 077 && printf '%s' "$QUILLON_SIGN_PASSWORD" >"$work/password")
    args+=(-readpass "$work/password")
  fi
  [ -z "$timestamp" ] || args+=(-ts "$timestamp")
  for file in "$@"; do
    osslsigncode sign "${args[@]}" -in "$file" -out "$file.signed" >"$work/sign.log" 2>&1 ||
      { cat "$work/sign.log" >&2; rm -f "$work/password"; fail "osslsigncode could not sign $file"; }
    mv "$file.signed" "$file"
  done
  rm -f "$work/password"
}
text_define() { sed -n "s/^#define $1 \"\(.*\)\"$/\1/p" "$here/version/version.h"; }

# wixl takes paths relative to its working folder only: the sources, the
# generated device entries and the program files (copied from the build trees,
# signed there when asked) are put side by side.
cp "$here/packaging/quillon.wxs" "$here/packaging/control-registry.wxi" "$here/packaging/user-data.wxi" "$work/"
python3 "$here/packaging/devices_wxi.py" "$here/control/devices.reg" "$work/devices.wxi" "$work/device-searches.wxi"
for f in "${program_files[@]}"; do
  mkdir -p "$work/stage/$(dirname "$f")"
  cp "$build/$f" "$work/stage/$f"
done
mkdir -p "$work/stage/x64/app"
cp "$build/x64/app/quillon.ico" "$work/stage/x64/app/"
if [ -n "$pfx" ]; then
  sign "${program_files[@]/#/$work/stage/}"
fi
defines=(-D "Version=$version" -D "Release=$release" -D "ProductName=$(text_define QUILLON_PRODUCT_NAME)"
         -D "Manufacturer=$(text_define QUILLON_COMPANY_NAME)" -D Tree64=stage/x64 -D Tree32=stage/x86
         -D Devices=devices.wxi -D DeviceSearches=device-searches.wxi -D Icon=stage/x64/app/quillon.ico)
# The control's identifiers and type library version, as its build wrote them beside its type library.
control_defines=$build/x64/control/QuillonScanner.defines
[ -s "$control_defines" ] || fail "$control_defines is missing (it is built with QuillonScanner)"
while IFS= read -r line; do [ -z "$line" ] || defines+=(-D "$line"); done <"$control_defines"
typelib=$(sed -n 's/^ScannerTypeLibId=//p' "$control_defines")
[ -n "$typelib" ] || fail "$control_defines gives no ScannerTypeLibId"

for arch in "${arches[@]}"; do
  # Every package a product of its own: see the version scheme above.
  product_code=$(python3 -c 'import uuid; print("{%s}" % str(uuid.uuid4()).upper())')
  msi=$out/Quillon-$version-$arch.msi
  rm -f "$msi"
  (cd "$work" && wixl -a "$arch" "${defines[@]}" -D "Arch=$arch" -D "ProductCode=$product_code" -o "$msi" quillon.wxs) ||
    fail "wixl could not build $msi"
  python3 "$here/packaging/finish_msi.py" "$msi" --arch="$arch" --wxs="$work/quillon.wxs" \
    --tree64="$work/stage/x64" --tree32="$work/stage/x86" --typelib="$typelib" ||
    fail "packaging/finish_msi.py could not finish $msi"
  if [ -n "$pfx" ]; then sign "$msi"; fi
  echo "package: $msi ($(stat -c %s "$msi") bytes$([ -z "$pfx" ] || echo ", signed"))"
done

# The consoles alone, for machines where installing is not allowed.
zip_root=$work/Quillon-$version
mkdir -p "$zip_root/64bit" "$zip_root/32bit"
cp "$work/stage/x64/app/Quillon.exe" "$work/stage/x64/check/QuillonCheck.exe" "$zip_root/64bit/"
cp "$work/stage/x86/app/Quillon.exe" "$work/stage/x86/check/QuillonCheck.exe" "$zip_root/32bit/"
archive=$out/Quillon-$version-consoles.zip
rm -f "$archive"
(cd "$work" && zip -q -X -r "$archive" "Quillon-$version")
echo "package: $archive ($(stat -c %s "$archive") bytes)"
