# Sourced by the check_*.sh scripts that build a package and try it: runs
# from the repository's top folder, gives them a temporary folder $work
# that goes on every way out, and the helpers they share.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# The packages' time stamps must come from the project, not the caller.
unset SOURCE_DATE_EPOCH
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
  echo "$*" >&2
  exit 1
}

# project_version <build folder>: the version of project() it was configured with.
project_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}

# The reference every package is compared with: the sample disc and its
# image from the default build, build/sample and build/sample.cdi.
build_reference_sample() {
  cmake --preset default >/dev/null
  cmake --build --preset sample >/dev/null
}

# The documents every archive carries beside the program, as in the sources.
documents() {
  printf '%s\n' README.md LICENSE CONTRIBUTING.md doc/*.md doc/*.png
}

# check_documents <unpacked folder>: the documents are there, the same as in
# the sources, and every relative link in them leads to a file or a heading
# inside the folder, as it does in the repository.
check_documents() {
  local document
  while read -r document; do
    cmp "$document" "$1/$document" || fail "$1/$document is not the sources' $document"
  done < <(documents)
  python3 tests/docs/check_links.py "$1" >/dev/null ||
    fail "a link in the documents of $1 leads nowhere"
}
