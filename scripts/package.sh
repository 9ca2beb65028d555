#!/usr/bin/env bash
# Builds the packages for Windows into dist/ (or --out): the x64 package
# (64-bit and 32-bit console), the x86 package (32-bit console), each with the
# optional feature "Simulated scanner", and a zip of the two consoles alone.
# Builds what is missing in both build trees first. Nothing is downloaded:
# Debian's wixl makes the packages.
# Usage: scripts/package.sh [build-root] [--out=DIR] [--arch=x64,x86] [--version=A.B.C.D]
#   --version  the packages' version instead of version/version.h's (the
#              binaries keep theirs); for testing upgrades
source "$(dirname "$0")/common.sh"

build=${BUILD_DIR:-$here/build}
out=$here/dist
arches=(x64 x86)
version=""
for a in "$@"; do
  case "$a" in
    --out=*) out=${a#--out=} ;;
    --arch=*) IFS=, read -r -a arches <<<"${a#--arch=}" ;;
    --version=*) version=${a#--version=} ;;
    --*) fail "unknown option $a (usage: scripts/package.sh [build-root] [--out=DIR] [--arch=x64,x86] [--version=A.B.C.D])" ;;
    *) build=$a ;;
  esac
done
for arch in "${arches[@]}"; do
  [ "$arch" = x64 ] || [ "$arch" = x86 ] || fail "--arch takes x64, x86 or x64,x86, not '$arch'"
done

# The version of version/version.h, A.B.C.D.
header_version() {
  local part v=()
  for part in MAJOR MINOR BUILD REVISION; do
    v+=("$(sed -n "s/^#define QUILLON_VERSION_$part \([0-9]\+\)$/\1/p" "$here/version/version.h")")
    [ -n "${v[-1]}" ] || fail "version/version.h has no QUILLON_VERSION_$part"
  done
  (IFS=.; echo "${v[*]}")
}
[ -n "$version" ] || version=$(header_version)
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "the version must be four numbers A.B.C.D, not '$version'"

command -v wixl >/dev/null || fail "wixl is missing (run scripts/setup.sh, which installs it)"
command -v msibuild >/dev/null || fail "msibuild is missing (run scripts/setup.sh, which installs msitools)"
command -v zip >/dev/null || fail "zip is missing (run scripts/setup.sh, which installs it)"

# Both consoles go into the x64 package, so both trees are needed for any package.
[ -f "$build/x64/CMakeCache.txt" ] && [ -f "$build/x86/CMakeCache.txt" ] || "$here/scripts/setup.sh" "$build" >&2
build=$(cd "$build" && pwd)
for tree in x64 x86; do
  cmake --build "$build/$tree" -j2 --target Quillon QuillonScanner scaninject >/dev/null ||
    fail "building the $tree tree failed (run: cmake --build $build/$tree --target Quillon QuillonScanner scaninject)"
done

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# wixl takes paths relative to its working folder only: the sources, the
# generated device entries and the two build trees are put side by side.
cp "$here/packaging/quillon.wxs" "$here/packaging/control-registry.wxi" "$work/"
python3 "$here/packaging/devices_wxi.py" "$here/control/devices.reg" "$work/devices.wxi"
ln -s "$build/x64" "$work/x64"
ln -s "$build/x86" "$work/x86"
text_define() { sed -n "s/^#define $1 \"\(.*\)\"$/\1/p" "$here/version/version.h"; }
defines=(-D "Version=$version" -D "ProductName=$(text_define QUILLON_PRODUCT_NAME)"
         -D "Manufacturer=$(text_define QUILLON_COMPANY_NAME)" -D Tree64=x64 -D Tree32=x86
         -D Devices=devices.wxi -D Icon=x64/app/quillon.ico)
while IFS= read -r line; do defines+=(-D "$line"); done < <(python3 "$here/control/automation/make_idl.py" "$here/control" --defines)

for arch in "${arches[@]}"; do
  # The same version and architecture always get the same product code: a
  # package built again repairs the installed one instead of adding a second.
  product_code=$(python3 -c 'import sys, uuid
print("{%s}" % str(uuid.uuid5(uuid.UUID("2328455E-5040-4411-BEFB-718031241DF8"), "Quillon " + sys.argv[1] + " " + sys.argv[2])).upper())' "$arch" "$version")
  msi=$out/Quillon-$version-$arch.msi
  rm -f "$msi"
  (cd "$work" && wixl -a "$arch" "${defines[@]}" -D "Arch=$arch" -D "ProductCode=$product_code" -o "$msi" quillon.wxs) ||
    fail "wixl could not build $msi"
  # wixl writes only the IncludeMinimum flag of an upgrade range. Windows
  # Installer compares three version fields, so a range that ends before
  # A.B.C.D misses A.B.C.(D-1): the ranges include their maximum, and an
  # upgrade keeps the features installed (MigrateFeatures).
  msiinfo export "$msi" Upgrade >"$work/Upgrade.idt"
  awk -F'\t' -v OFS='\t' 'NR > 3 && $5 == 256 { $5 = 256 + 512 + 1 } { print }' "$work/Upgrade.idt" >"$work/Upgrade.new.idt"
  mv "$work/Upgrade.new.idt" "$work/Upgrade.idt"
  (cd "$work" && msibuild "$msi" -i Upgrade.idt) || fail "msibuild could not update the upgrade table of $msi"
  echo "package: $msi ($(stat -c %s "$msi") bytes)"
done

# The consoles alone, for machines where installing is not allowed.
zip_root=$work/Quillon-$version
mkdir -p "$zip_root/64bit" "$zip_root/32bit"
cp "$build/x64/app/Quillon.exe" "$zip_root/64bit/"
cp "$build/x86/app/Quillon.exe" "$zip_root/32bit/"
archive=$out/Quillon-$version-consoles.zip
rm -f "$archive"
(cd "$work" && zip -q -X -r "$archive" "Quillon-$version")
echo "package: $archive ($(stat -c %s "$archive") bytes)"
