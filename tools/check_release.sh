#!/usr/bin/env bash
# check_release.sh: builds the release archive the way CONTRIBUTING.md says
# (the "release" presets), unpacks it into a temporary folder and checks what a
# user gets: one top folder holding exactly the expected files, the sources'
# README, LICENSE, the pages README links to (every link leading somewhere)
# and completions, a stripped, statically linked cuesmelt
# without build folders in it that converts the sample disc byte for byte as
# the default build does. Packing again after the build files changed must
# give the same archive. The temporary folder goes on every way out.
source "$(dirname "$0")/check_common.sh"

build_reference_sample

rm -rf build-release/packages
cmake --preset release >/dev/null
cmake --build --preset release
cpack --config build-release/CPackConfig.cmake
version=$(project_version build-release)
top=cuesmelt-$version-linux-$(uname -m)
archive=build-release/packages/$top.tar.gz
[ -f "$archive" ] || fail "no $archive; build-release/packages holds: $(ls build-release/packages)"

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
cmp build-release/doc/cuesmelt.1.gz "$root/share/man/man1/cuesmelt.1.gz"

binary=$root/bin/cuesmelt
description=$(file -b "$binary")
case $description in
  *"statically linked"*", stripped"*) ;;
  *) fail "bin/cuesmelt is not a stripped static executable: $description" ;;
esac
ldd_out=$(ldd "$binary" 2>&1 || true)
[[ $ldd_out == *"not a dynamic executable"* ]] || fail "ldd bin/cuesmelt: $ldd_out"
! grep -qF "$PWD" "$binary" || fail "bin/cuesmelt holds the path $PWD"
[ "$("$binary" --version | tail -n 1)" = "cuesmelt $version" ] ||
  fail "bin/cuesmelt --version: $("$binary" --version)"

"$binary" --cue "build/sample/Sample Disc.cue" --cdi "$work/sample.cdi" >/dev/null
cmp "$work/sample.cdi" build/sample.cdi
echo "the archive's cuesmelt converts the sample disc as the default build does"

# The same archive again, though the generated files got new times.
cp "$archive" "$work/first.tar.gz"
sleep 1
cmake --preset release >/dev/null
cpack --config build-release/CPackConfig.cmake >/dev/null
cmp "$work/first.tar.gz" "$archive" || fail "packing twice gave two different archives"

echo "release archive: $archive ($(sha256sum <"$archive" | cut -d' ' -f1))"
