#!/usr/bin/env bash
# check_readme_loops.sh: runs the README's loops over a whole collection as
# the README prints them, taken from its fenced blocks (```bash, ```cmd,
# ```bat), on a folder holding two good discs under Redump names (spaces,
# commas, parentheses, one in Japanese) and a sheet whose second track file
# is missing. Every good disc's image must equal the reference image, the
# broken sheet must be reported as failed and get no image.
#
#   check_readme_loops.sh bash <README.md> <cuesmelt> <sample-dir>
#     The bash loop, with bash; HOME is the collection's parent, so that
#     the loop's folder=~/"Dreamcast (Redump)" is the collection, and
#     cuesmelt is on PATH. The reference is that cuesmelt's own image of
#     the sample disc.
#   check_readme_loops.sh cmd <README.md> <cuesmelt.exe> <sample-dir> <reference.cdi> <wine> <prefix>
#     The cmd line, typed into Wine's cmd in the folder of cuesmelt.exe,
#     and the batch file, saved beside cuesmelt.exe and run; drive D: of
#     the Wine prefix is the collection's parent, for the README's
#     D:\Dreamcast.
set -euo pipefail

mode=$1 readme=$2 program=$3 sample=$4
work=$(mktemp -d)
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The one fenced block of README whose info string is $1.
block() {
  local text count
  count=$(grep -c "^\`\`\`$1\$" "$readme" || true)
  [ "$count" -eq 1 ] || { echo "README holds $count \`\`\`$1 blocks, not one" >&2; exit 1; }
  awk -v fence="\`\`\`$1" '$0 == fence { inside = 1; next } inside && /^```/ { exit } inside' "$readme"
}

good=("Sonic Adventure (USA) (En,Ja)" "ソニックアドベンチャー (Japan)")
broken="Broken Dump (Japan)"
make_collection() {  # make_collection <folder>
  mkdir -p "$1"
  cp "$sample"/*.bin "$1/"
  for name in "${good[@]}"; do cp "$sample/Sample Disc.cue" "$1/$name.cue"; done
  sed 's/(Track 2)/(Track 9)/' "$sample/Sample Disc.cue" >"$1/$broken.cue"
}
check_images() {  # check_images <what> <folder> <reference.cdi>
  for name in "${good[@]}"; do
    cmp -s "$2/$name.cdi" "$3" || fail "$1: the image of '$name' differs from the reference"
  done
  [ ! -e "$2/$broken.cdi" ] || fail "$1: the broken sheet got an image"
}
expect_in() {  # expect_in <what> <line> <text>
  grep -qF -- "$2" <<<"$3" || fail "$1: no line '$2' in:
$3"
}

case $mode in
  bash)
    mkdir -p "$work/bin" "$work/home"
    ln -s "$(realpath "$program")" "$work/bin/cuesmelt"
    "$program" --cue "$sample/Sample Disc.cue" --cdi "$work/reference.cdi" >/dev/null
    folder="$work/home/Dreamcast (Redump)"
    make_collection "$folder"
    status=0
    HOME=$work/home PATH=$work/bin:$PATH bash -c "$(block bash)" >"$work/out" 2>"$work/err" ||
      status=$?
    [ "$status" -eq 1 ] || fail "bash loop: status $status, not 1"
    for name in "$broken" "${good[@]}"; do expect_in "bash loop" "== $name.cue" "$(cat "$work/out")"; done
    expect_in "bash loop" "failed: $folder/$broken.cue" "$(cat "$work/err")"
    check_images "bash loop" "$folder" "$work/reference.cdi"
    ;;
  cmd)
    reference=$5 wine=$6 prefix=$7
    export WINEPREFIX=$prefix WINEDEBUG=-all
    drive=$prefix/dosdevices/d:
    if [ -e "$drive" ] || [ -L "$drive" ]; then
      echo "the Wine prefix has a drive D: already: $(readlink "$drive")" >&2
      exit 1
    fi
    trap 'rm -f "$drive"; cleanup' EXIT
    ln -s "$work/d" "$drive"
    mkdir -p "$work/bin"
    cp "$program" "$work/bin/cuesmelt.exe"
    # As typed or pasted: the line and its Enter.
    block cmd | sed 's/$/\r/' >"$work/typed"
    # As Notepad saves it.
    block bat | sed 's/$/\r/' >"$work/bin/convert-all.bat"
    for form in line bat; do
      rm -rf "$work/d"
      make_collection "$work/d/Dreamcast"
      status=0
      if [ "$form" = line ]; then
        (cd "$work/bin" && "$wine" cmd <"$work/typed") >"$work/out" 2>&1 || status=$?
      else
        (cd "$work" && "$wine" cmd /c "Z:${work//\//\\}\\bin\\convert-all.bat" </dev/null) \
          >"$work/out" 2>&1 || status=$?
        [ "$status" -eq 1 ] || fail "cmd $form: status $status, not 1"
      fi
      out=$(tr -d '\r' <"$work/out")
      for name in "$broken" "${good[0]}"; do expect_in "cmd $form" "== $name.cue" "$out"; done
      expect_in "cmd $form" "failed: D:\\Dreamcast\\$broken.cue" "$out"
      check_images "cmd $form" "$work/d/Dreamcast" "$reference"
    done
    ;;
  *)
    echo "usage: $0 bash|cmd <README.md> <cuesmelt> <sample-dir> [<reference.cdi> <wine> <prefix>]" >&2
    exit 2
    ;;
esac

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "the README's $mode loops convert the collection and report the broken sheet"
