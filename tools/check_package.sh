#!/usr/bin/env bash
# check_package.sh [package | package-aarch64 | package-armhf]: builds the
# Debian package from a release build (the "package" presets, or those of
# an ARM package), checks its metadata, its architecture against the
# program in it, and its contents, the copyright file
# against LICENSE and the changelog against the version, and runs lintian,
# which must report no error and no warning. Then, as root, it installs the
# package with dpkg, converts the sample disc with the installed
# /usr/bin/cuesmelt (an ARM one under qemu-user, with the libraries that
# its dependencies brought), compares that image with the one the build
# tree made, and removes the package again. The package is removed on every
# way out, failures included. An ARM package installs beside the build
# machine's packages once dpkg knows its architecture (tools/setup.sh --arm).
#
# Installing changes the system's set of packages, so that part runs only as
# root (CI runs it as root on a throwaway machine), and it leaves a system
# alone that already has a cuesmelt of its own.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
installing=
cleanup() {
  if [ -n "$installing" ]; then
    dpkg --purge cuesmelt >/dev/null || echo "could not remove the cuesmelt package" >&2
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

preset=${1:-package}
build=build-$preset
# The architecture the package is for, and how `file` names its processor.
case $preset in
  package) architecture=$(dpkg --print-architecture) ;;
  package-aarch64) architecture=arm64 ;;
  package-armhf) architecture=armhf ;;
  *)
    echo "usage: $0 [package | package-aarch64 | package-armhf]" >&2
    exit 2
    ;;
esac
case $architecture in
  amd64) processor="x86-64" ;;
  arm64) processor="ARM aarch64" ;;
  armhf) processor="ARM, EABI5" ;;
  *) processor= ;;
esac

# The build tree converts the sample disc too: $build/sample.cdi.
rm -rf "$build/packages"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
cpack --config "$build/CPackConfig.cmake"
debs=("$build"/packages/cuesmelt_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || {
  echo "expected one package in $build/packages" >&2
  exit 1
}
deb=${debs[0]}

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = cuesmelt ] || { echo "package name: $(field Package)" >&2; exit 1; }
[ "$(field Section)" = otherosfs ] || { echo "section: $(field Section)" >&2; exit 1; }
[ "$(field Architecture)" = "$architecture" ] ||
  { echo "architecture: $(field Architecture), not $architecture" >&2; exit 1; }
[ "$deb" = "$build/packages/cuesmelt_$(field Version)_$architecture.deb" ] ||
  { echo "the package's file is named $deb" >&2; exit 1; }
case $(field Depends) in
  *libc6*) ;;
  *) echo "no shared library dependencies: '$(field Depends)'" >&2; exit 1 ;;
esac
contents=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ {print $6}' | LC_ALL=C sort)
expected='./usr/bin/cuesmelt
./usr/share/bash-completion/completions/cuesmelt
./usr/share/doc/cuesmelt/changelog.gz
./usr/share/doc/cuesmelt/copyright
./usr/share/man/man1/cuesmelt.1.gz
./usr/share/zsh/vendor-completions/_cuesmelt'
[ "$contents" = "$expected" ] || {
  printf 'unexpected package contents:\n%s\n' "$contents" >&2
  exit 1
}

dpkg-deb --extract "$deb" "$work/root"
doc=$work/root/usr/share/doc/cuesmelt
description=$(file -b "$work/root/usr/bin/cuesmelt")
[[ -n $processor && $description == *"$processor"* ]] ||
  { echo "an $architecture package holds: $description" >&2; exit 1; }

# The copyright file: machine-readable, the holder and the licence text of
# LICENSE, the text as the continuation lines of a stand-alone paragraph.
copyright=$doc/copyright
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  { echo "copyright: not in the machine-readable format" >&2; exit 1; }
holder=$(sed -n 's/^Copyright (c) //p' LICENSE)
grep -qxF "Copyright: $holder" "$copyright" ||
  { echo "copyright: no 'Copyright: $holder' line" >&2; exit 1; }
license_text=$(sed '1,/^Copyright (c) /d' LICENSE | sed '1{/^$/d}')
copyright_text=$(awk 'text { sub(/^ /, ""); if ($0 == ".") $0 = ""; print; next }
  blank && $0 == "License: Expat" { text = 1 }
  { blank = ($0 == "") }' "$copyright")
[ "$copyright_text" = "$license_text" ] || {
  echo "copyright: the Expat licence text differs from LICENSE" >&2
  diff <(printf '%s\n' "$license_text") <(printf '%s\n' "$copyright_text") >&2 || true
  exit 1
}

# The changelog's top entry is this version.
gzip -dc "$doc/changelog.gz" >"$work/changelog"
changelog_version=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
[ "$changelog_version" = "$(field Version)" ] || {
  echo "doc/changelog's top entry is $changelog_version, the package $(field Version)" >&2
  exit 1
}

# lintian, informational and pedantic tags shown: errors and warnings fail.
if ! command -v lintian >/dev/null; then
  echo "lintian is not installed (apt-get install lintian)" >&2
  exit 1
fi
lintian_status=0
lintian --display-info --pedantic --fail-on error,warning "$deb" >"$work/lintian.out" || lintian_status=$?
cat "$work/lintian.out"
if [ "$lintian_status" -ne 0 ] || grep -q '^[EW]: ' "$work/lintian.out"; then
  echo "lintian: errors or warnings (status $lintian_status)" >&2
  exit 1
fi
echo "lintian: no errors, no warnings"

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped installing the package: that needs root"
  exit 0
fi
if dpkg-query -W -f='${Status}\n' cuesmelt 2>/dev/null | grep -q ' installed$' ||
  [ -e /usr/bin/cuesmelt ]; then
  echo "cuesmelt is installed on this system already; not replacing it" >&2
  exit 1
fi

# Another processor's program runs under the emulator alone, which leaves
# it to find its libraries where the package's dependencies put them.
run=()
if [ "$architecture" != "$(dpkg --print-architecture)" ]; then
  run=("$(sed -n 's/^CUESMELT_QEMU:FILEPATH=//p' "$build/CMakeCache.txt")")
  [ -x "${run[0]}" ] || {
    echo "no qemu-user in $build/CMakeCache.txt" >&2
    exit 1
  }
fi

installing=1
dpkg -i "$deb"
version=$("${run[@]}" /usr/bin/cuesmelt --version | tail -n 1)
echo "installed: $version"
[ "$version" = "cuesmelt $(field Version)" ] || {
  echo "the program says '$version', the package $(field Version)" >&2
  exit 1
}
"${run[@]}" /usr/bin/cuesmelt --cue "$build/sample/Sample Disc.cue" --cdi "$work/sample.cdi"
cmp "$work/sample.cdi" "$build/sample.cdi"
echo "the installed cuesmelt converts the sample disc as the build tree does"
man -w cuesmelt | grep -qx /usr/share/man/man1/cuesmelt.1.gz ||
  { echo "man does not find the installed page: $(man -w cuesmelt 2>&1)" >&2; exit 1; }

dpkg -r cuesmelt
installing=
[ ! -e /usr/bin/cuesmelt ] || { echo "/usr/bin/cuesmelt is still there" >&2; exit 1; }
echo "package built, installed, used and removed: $deb"
