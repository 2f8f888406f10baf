#!/usr/bin/env bash
# check_reproducible.sh: builds cuesmelt twice, each time from a copy of this
# source tree in another absolute folder, with the default build type, and
# checks that the two executables are the same byte for byte. Neither the
# folders nor the time of the build may leave a trace in the binary.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

build() {
  local root=$work/$1
  mkdir -p "$root/src"
  # The working tree as it is, without build folders and history.
  (cd "$source_dir" && tar --exclude='./build*' --exclude=./.git -cf - .) | tar -xf - -C "$root/src"
  cmake -S "$root/src" -B "$root/build" -DCUESMELT_TESTS=OFF >/dev/null
  grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$root/build/CMakeCache.txt" || {
    echo "the default build type is not Release" >&2
    exit 1
  }
  cmake --build "$root/build" --target cuesmelt --parallel "$(nproc)" >/dev/null
}

build one
# The second copy lies at another depth, under other names.
build "two/elsewhere"
if cmp "$work/one/build/cuesmelt" "$work/two/elsewhere/build/cuesmelt"; then
  echo "reproducible: $(sha256sum <"$work/one/build/cuesmelt" | cut -d' ' -f1)"
else
  echo "the two builds of cuesmelt differ" >&2
  exit 1
fi
