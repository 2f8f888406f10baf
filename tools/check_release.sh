#!/usr/bin/env bash
# check_release.sh [release | release-aarch64 | release-armhf]: builds the
# release archive the way CONTRIBUTING.md says (the "release" presets, or
# those of an ARM archive), unpacks it into a temporary folder and checks what a
# user gets: one top folder holding exactly the expected files, the sources'
# README, LICENSE, the pages README links to (every link leading somewhere)
# and completions, a stripped, statically linked cuesmelt for the archive's
# processor, without build folders in it, that converts the sample disc byte
# for byte as the default build does (an ARM one under qemu-user). Packing
# again after the build files changed must give the same archive. The
# temporary folder goes on every way out.
source "$(dirname "$0")/check_common.sh"
preset=${1:-release}
build=build-$preset

build_reference_sample

rm -rf "$build/packages"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
cpack --config "$build/CPackConfig.cmake"
version=$(project_version "$build")
case $preset in
  release) machine=$(uname -m) ;;
  release-aarch64 | release-armhf) machine=${preset#release-} ;;
  *) fail "usage: $0 [release | release-aarch64 | release-armhf]" ;;
esac
top=cuesmelt-$version-linux-$machine
archive=$build/packages/$top.tar.gz
[ -f "$archive" ] || fail "no $archive; $build/packages holds: $(ls "$build/packages")"

[ "$(tar -tzf "$archive" | cut -d/ -f1 | sort -u)" = "$top" ] ||
  fail "not everything in the archive is under $top/"
tar -xzf "$archive" -C "$work"
root=$work/$top
files=$(cd "$root" && find . ! -type d -printf '%m %P\n' | LC_ALL=C sort -k2)
expected=$({ documents | sed 's/^/644 /'; echo '755 bin/cuesmelt
644 share/bash-completion/completions/cuesmelt
644 share/man/man1/cuesmelt.1.gz
644 share/zsh/vendor-completions/_cuesmelt'; } | LC_ALL=C sort -k2)
[ "$files" = "$expected" ] || fail "unexpected files or modes in the archive:
$files"

check_documents "$root"
cmp completion/cuesmelt.bash "$root/share/bash-completion/completions/cuesmelt"
cmp completion/_cuesmelt "$root/share/zsh/vendor-completions/_cuesmelt"
cmp "$build/doc/cuesmelt.1.gz" "$root/share/man/man1/cuesmelt.1.gz"

binary=$root/bin/cuesmelt
description=$(file -b "$binary")
case $machine in
  x86_64) processor="x86-64" ;;
  aarch64) processor="ARM aarch64" ;;
  armhf) processor="ARM, EABI5" ;;
  *) processor=$machine ;;
esac
case $description in
  *"$processor"*"statically linked"*", stripped"*) ;;
  *) fail "bin/cuesmelt is not a stripped static $processor executable: $description" ;;
esac
# An ARM program runs here under the emulator alone: a static one needs
# nothing of its processor's libraries.
run=()
if [ "$machine" = "$(uname -m)" ]; then
  ldd_out=$(ldd "$binary" 2>&1 || true)
  [[ $ldd_out == *"not a dynamic executable"* ]] || fail "ldd bin/cuesmelt: $ldd_out"
else
  run=("$(sed -n 's/^CUESMELT_QEMU:FILEPATH=//p' "$build/CMakeCache.txt")")
  [ -x "${run[0]}" ] || fail "no qemu-user in $build/CMakeCache.txt"
fi
# ldd tells nothing of another processor's programs: no loader asked for and
# no library named, whatever the processor.
! readelf --program-headers --dynamic --wide "$binary" | grep -E 'program interpreter|NEEDED' ||
  fail "bin/cuesmelt asks for a loader or a library"
! grep -qF "$PWD" "$binary" || fail "bin/cuesmelt holds the path $PWD"
[ "$("${run[@]}" "$binary" --version | tail -n 1)" = "cuesmelt $version" ] ||
  fail "bin/cuesmelt --version: $("${run[@]}" "$binary" --version)"

"${run[@]}" "$binary" --cue "build/sample/Sample Disc.cue" --cdi "$work/sample.cdi" >/dev/null
cmp "$work/sample.cdi" build/sample.cdi
echo "the archive's cuesmelt converts the sample disc as the default build does"

# The same archive again, though the generated files got new times.
cp "$archive" "$work/first.tar.gz"
sleep 1
cmake --preset "$preset" >/dev/null
cpack --config "$build/CPackConfig.cmake" >/dev/null
cmp "$work/first.tar.gz" "$archive" || fail "packing twice gave two different archives"

echo "release archive: $archive ($(sha256sum <"$archive" | cut -d' ' -f1))"
