#!/usr/bin/env bash
# check_reproducible.sh: builds the release twice, each time from a copy of
# this source tree in another absolute folder, with the default build type,
# and packs the release tarball from each; the executables and the tarballs
# must be the same byte for byte. Neither the folders nor the time of the
# build may leave a trace in the binary, and neither the builder nor the
# umask in the tarball: run as root, the second build and packing run as
# the unprivileged user nobody with another umask.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
# The archive's time stamps must come from the project, not the caller.
unset SOURCE_DATE_EPOCH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The second builder must reach its folder.
chmod 755 "$work"

as_other_user=()
if [ "$(id -u)" -eq 0 ]; then
  as_other_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$work")
else
  echo "not root: both builds run as $(id -un); the tarball's owner is not compared"
fi

build() {  # build <folder> [command prefix...]
  local folder=$1 root=$work/$1
  shift
  mkdir -p "$root/src"
  # The working tree as it is, without build folders and history.
  (cd "$source_dir" && tar --exclude='./build*' --exclude=./.git -cf - .) | tar -xf - -C "$root/src"
  [ $# -eq 0 ] || chown -R nobody:nogroup "$work/${folder%%/*}"
  "$@" cmake -S "$root/src" -B "$root/build" -DCUESMELT_TESTS=OFF -DCUESMELT_STATIC=ON >/dev/null
  grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$root/build/CMakeCache.txt" || {
    echo "the default build type is not Release" >&2
    exit 1
  }
  "$@" cmake --build "$root/build" --target cuesmelt --parallel "$(nproc)" >/dev/null
  "$@" cpack --config "$root/build/CPackConfig.cmake" >/dev/null
}

build one
# The second copy lies at another depth, under other names.
(umask 027 && build "two/elsewhere" "${as_other_user[@]}")

same() {  # same <what> <path in a build folder>
  local first=$work/one/build/$2 second=$work/two/elsewhere/build/$2
  if cmp "$first" "$second"; then
    echo "reproducible $1: $(sha256sum <"$first" | cut -d' ' -f1)"
  else
    echo "the two builds' $1 differ" >&2
    exit 1
  fi
}
same cuesmelt cuesmelt
tarball=$(cd "$work/one/build" && echo packages/cuesmelt-*.tar.gz)
same tarball "$tarball"
owners=$(tar -tvzf "$work/one/build/$tarball" --numeric-owner | awk '{print $2}' | sort -u)
[ "$owners" = 0/0 ] || {
  echo "the tarball's entries belong to $owners, not 0/0" >&2
  exit 1
}
