#!/usr/bin/env bash
# check_install.sh <build-dir> <version>
#
# Installs the build into a fresh prefix and checks what a user gets: exactly
# the executable, the manual page and the two completion scripts; a manual
# page, gzipped without name or time, that groff renders without a warning;
# a bash completion that loads and offers the right files for each option; a
# zsh completion that registers.
set -euo pipefail

build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Compares a command's output with the expected lines.
expect() {
  local what=$1 expected=$2 actual=$3
  if [[ $actual != "$expected" ]]; then
    fail "$what"
    diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") >&2 || true
  fi
}

cmake --install "$build" --prefix "$prefix" >/dev/null

expect "installed files" \
  "bin/cuesmelt
share/bash-completion/completions/cuesmelt
share/man/man1/cuesmelt.1.gz
share/zsh/vendor-completions/_cuesmelt" \
  "$(cd "$prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)"

expect "installed cuesmelt --version" "cuesmelt $version" \
  "$("$prefix/bin/cuesmelt" --version | tail -n 1)"

# --- manual page
man_page=$prefix/share/man/man1/cuesmelt.1.gz
# gzip -n: method deflate, no flags (no file name), modification time 0.
expect "manual page gzip header" " 1f 8b 08 00 00 00 00 00" "$(od -An -tx1 -N8 "$man_page")"
gzip -dc "$man_page" >"$work/cuesmelt.1"
grep -q "^\.TH CUESMELT 1 .*\"cuesmelt $version\"" "$work/cuesmelt.1" || fail "manual page header names version $version"
if command -v groff >/dev/null; then
  groff -man -Tutf8 -ww -z "$work/cuesmelt.1" 2>"$work/groff.err" || fail "groff failed"
  [[ -s $work/groff.err ]] && fail "groff warnings: $(cat "$work/groff.err")"
else
  echo "SKIP: groff is not installed; the manual page was not rendered"
fi
if command -v man >/dev/null; then
  MANWIDTH=80 man --warnings -l "$man_page" >/dev/null 2>"$work/man.err" || fail "man -l failed"
  [[ -s $work/man.err ]] && fail "man -l warnings: $(cat "$work/man.err")"
fi

# --- bash completion
# A folder named the way Redump names things, with spaces and parentheses.
discs=$work/discs
mkdir -p "$discs/More Discs"
touch "$discs/Sonic Adventure (USA) (En,Ja).cue" "$discs/Sonic Adventure (USA) (En,Ja) (Track 1).bin" \
  "$discs/Old Image.cdi" "$discs/UPPER.CUE" "$discs/notes.txt"

# complete_words PRELUDE WORD...: the completions bash offers for the last
# word, one per line and sorted, with the completion script loaded after
# PRELUDE.
complete_words() {
  local prelude=$1
  shift
  (cd "$discs" && bash --norc --noprofile -c "$prelude
    source \"\$0\"
    COMP_WORDS=(\"\$@\")
    COMP_CWORD=\$((\${#COMP_WORDS[@]} - 1))
    _cuesmelt
    printf '%s\n' \"\${COMPREPLY[@]}\"" "$prefix/share/bash-completion/completions/cuesmelt" "$@" |
    LC_ALL=C sort)
}

check_bash_completion() {
  local label=$1 prelude=$2
  expect "$label: complete -p" "complete -F _cuesmelt cuesmelt" \
    "$(bash --norc --noprofile -c "$prelude
      source \"\$0\"; complete -p cuesmelt" "$prefix/share/bash-completion/completions/cuesmelt")"
  local sheets="More Discs
Sonic Adventure (USA) (En,Ja).cue
UPPER.CUE"
  expect "$label: -i" "$sheets" "$(complete_words "$prelude" cuesmelt -i '')"
  expect "$label: --cue" "$sheets" "$(complete_words "$prelude" cuesmelt -o x.cdi --cue '')"
  expect "$label: --cue=" "$sheets" "$(complete_words "$prelude" cuesmelt --cue = '')"
  expect "$label: -i Son" "Sonic Adventure (USA) (En,Ja).cue" \
    "$(complete_words "$prelude" cuesmelt -i 'Son')"
  expect "$label: -o" "More Discs
Old Image.cdi" "$(complete_words "$prelude" cuesmelt -i x.cue -o '')"
  expect "$label: options" "--cdi
--cue
--help
--version" "$(complete_words "$prelude" cuesmelt '')"
  expect "$label: options not yet given" "--cdi" \
    "$(complete_words "$prelude" cuesmelt -i x.cue --c)"
  expect "$label: nothing after --version" "" "$(complete_words "$prelude" cuesmelt --version '')"
}

check_bash_completion "bash" ""
bash_completion=/usr/share/bash-completion/bash_completion
if [[ -r $bash_completion ]]; then
  check_bash_completion "bash with bash-completion" "source $bash_completion"
else
  echo "SKIP: bash-completion is not installed; only the stand-alone completion was tried"
fi

# --- zsh completion
if command -v zsh >/dev/null; then
  zsh -n "$prefix/share/zsh/vendor-completions/_cuesmelt" || fail "zsh syntax"
  zsh -fc 'fpath=("$1" $fpath); autoload -Uz compinit; compinit -u -d "$2"
    [[ $_comps[cuesmelt] == _cuesmelt ]]' zsh "$prefix/share/zsh/vendor-completions" \
    "$work/zcompdump" || fail "zsh does not register _cuesmelt for cuesmelt"
else
  echo "SKIP: zsh is not installed; the zsh completion was not loaded"
fi

if ((failures > 0)); then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "install layout, manual page and completions: ok"
