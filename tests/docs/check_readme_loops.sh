#!/usr/bin/env bash
# check_readme_loops.sh: runs the loops over a collection as the documents
# print them (the ```bash block of README.md, the ```cmd and ```bat blocks of
# doc/windows.md) on two good discs under Redump
# names (spaces, commas, parentheses, one Japanese) and a sheet whose second
# track file is missing: the good images must equal the reference, the
# broken sheet must be reported and get no image.
#
#   check_readme_loops.sh bash <README.md> <cuesmelt> <sample-dir>
#   check_readme_loops.sh cmd <doc/windows.md> <cuesmelt.exe> <sample-dir> <reference.cdi> <wine> <prefix>
#
# bash: with bash, HOME above the collection (folder=~/...), cuesmelt on
# PATH. cmd: the line typed into Wine's cmd in the folder of cuesmelt.exe,
# and the batch file saved beside it, the collection on drive D:.
set -euo pipefail
mode=$1 document=$2 program=$3 sample=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

block() {  # the one fenced block of the document with info string $1
  [ "$(grep -c "^\`\`\`$1\$" "$document")" -eq 1 ] || { echo "not one \`\`\`$1 block in $document" >&2; exit 1; }
  awk -v fence="\`\`\`$1" '$0 == fence { on = 1; next } on && /^```/ { exit } on' "$document"
}
good=("Sonic Adventure (USA) (En,Ja)" "ソニックアドベンチャー (Japan)")
broken="Broken Dump (Japan)"
collection() {  # collection <folder>
  rm -rf "$1" && mkdir -p "$1" && cp "$sample"/*.bin "$1/"
  for name in "${good[@]}"; do cp "$sample/Sample Disc.cue" "$1/$name.cue"; done
  sed 's/(Track 2)/(Track 9)/' "$sample/Sample Disc.cue" >"$1/$broken.cue"
}
check() {  # check <what> <status> <expected status> <folder> <reference> <output> <lines>...
  local what=$1 folder=$4 reference=$5 output=$6
  [ "$2" = "$3" ] || fail "$what: status $2, not $3"
  for name in "${good[@]}"; do
    cmp -s "$folder/$name.cdi" "$reference" || fail "$what: the image of '$name' is not the reference"
  done
  [ ! -e "$folder/$broken.cdi" ] || fail "$what: the broken sheet got an image"
  shift 6
  for line in "$@"; do grep -qF -- "$line" <<<"$output" || fail "$what: no '$line' in:"$'\n'"$output"; done
}

if [ "$mode" = bash ]; then
  mkdir -p "$work/bin" "$work/home"
  ln -s "$(realpath "$program")" "$work/bin/cuesmelt"
  "$program" --cue "$sample/Sample Disc.cue" --cdi "$work/reference.cdi" >/dev/null
  folder="$work/home/Dreamcast (Redump)"
  collection "$folder"
  status=0
  HOME=$work/home PATH=$work/bin:$PATH bash -c "$(block bash)" >"$work/out" 2>&1 || status=$?
  check "bash loop" "$status" 1 "$folder" "$work/reference.cdi" "$(cat "$work/out")" \
    "== $broken.cue" "== ${good[0]}.cue" "== ${good[1]}.cue" "failed: $folder/$broken.cue"
else
  reference=$5 wine=$6
  export WINEPREFIX=$7 WINEDEBUG=-all
  drive=$WINEPREFIX/dosdevices/d:
  [ ! -e "$drive" ] && [ ! -L "$drive" ] || { echo "$drive is taken" >&2; exit 1; }
  trap 'rm -rf "$work" "$drive"' EXIT
  ln -s "$work/d" "$drive"
  mkdir -p "$work/bin"
  cp "$program" "$work/bin/cuesmelt.exe"
  block cmd | sed 's/$/\r/' >"$work/typed"                  # the line and its Enter
  block bat | sed 's/$/\r/' >"$work/bin/convert-all.bat"    # as Notepad saves it
  for form in line bat; do
    collection "$work/d/Dreamcast"
    status=0
    if [ $form = line ]; then
      (cd "$work/bin" && "$wine" cmd <"$work/typed") >"$work/out" 2>&1 || status=$?
      expected=0
    else
      (cd "$work" && "$wine" cmd /c "Z:${work//\//\\}\\bin\\convert-all.bat" </dev/null) \
        >"$work/out" 2>&1 || status=$?
      expected=1
    fi
    # Wine's cmd shows the Japanese name as question marks on a pipe.
    check "cmd $form" "$status" $expected "$work/d/Dreamcast" "$reference" "$(tr -d '\r' <"$work/out")" \
      "== $broken.cue" "== ${good[0]}.cue" "failed: D:\\Dreamcast\\$broken.cue"
  done
fi
[ "$failures" -eq 0 ] || exit 1
echo "the $mode loops of $document convert the collection and report the broken sheet"
