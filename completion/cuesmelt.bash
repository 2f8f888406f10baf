# bash completion for cuesmelt                                 -*- shell-script -*-
#
# Completes the four options, CUE sheets after --cue / -i and CDI images
# after --cdi / -o (folders too, to get there). Uses bash-completion's
# _filedir where it is loaded and plain compgen otherwise.

# _cuesmelt_files EXTENSION: file names ending in .EXTENSION (any letter
# case) and folders that begin with the current word.
_cuesmelt_files() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  [[ $cur == = ]] && cur=
  if declare -F _filedir >/dev/null; then
    _filedir "$1"
    return
  fi
  local upper=${1^^} lower=${1,,} pattern= i
  for ((i = 0; i < ${#lower}; i++)); do
    pattern+="[${lower:i:1}${upper:i:1}]"
  done
  local IFS=$'\n'
  compopt -o filenames 2>/dev/null
  COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X "!*.$pattern" -- "$cur"))
}

_cuesmelt() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  # "--cue=x": bash splits the word at "=", so the option is two words back.
  if [[ $prev == = ]] && ((COMP_CWORD > 1)); then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  elif [[ $cur == = ]]; then
    cur=
  fi
  COMPREPLY=()

  case $prev in
    --cue | -i)
      _cuesmelt_files cue
      return
      ;;
    --cdi | -o)
      _cuesmelt_files cdi
      return
      ;;
    --help | -h | --version | -V)
      return
      ;;
  esac

  # Each value option may be given once, in any of its forms.
  local have_cue= have_cdi= word i
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    [[ $word == --cue || $word == -i* ]] && have_cue=1
    [[ $word == --cdi || $word == -o* ]] && have_cdi=1
  done
  local options=(--help --version)
  [[ $have_cdi ]] || options=(--cdi "${options[@]}")
  [[ $have_cue ]] || options=(--cue "${options[@]}")
  COMPREPLY=($(compgen -W "${options[*]}" -- "$cur"))
}

complete -F _cuesmelt cuesmelt
