#!/usr/bin/env bash
# Builds the fuzz targets (cmake --preset fuzz) and runs each for the given
# number of seconds (default 60) on its seed corpus and dictionary.
#
# The corpus grows in build-fuzz/corpus/<target>, seeded from fuzz/corpus, so
# a later run goes on from what an earlier one found and the repository stays
# untouched. A crash, sanitizer report, leak or hang is saved as
# build-fuzz/findings/<target>-<kind>-<hash> and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

build=build-fuzz
mkdir -p "$build/findings"
failed=()
for target_entry in fuzz_cue_reader:cue.dict:8192 fuzz_command_line:options.dict:512 \
  fuzz_conversion:cue.dict:8192 fuzz_zip_reader:zip.dict:8192; do
  IFS=: read -r target dict max_len <<<"$target_entry"
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  for seed in fuzz/corpus/"$target"/*; do
    [ -e "$corpus/${seed##*/}" ] || cp "$seed" "$corpus/"
  done
  log="$build/findings/$target.log"
  echo "== $target, ${seconds} s (log: $log)"
  if "$build/fuzz/$target" "$corpus" -dict="fuzz/$dict" -max_len="$max_len" -timeout=10 \
    -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
    >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units' "$log" | sed 's/^stat::number_of_executed_units:/executions:/'
  else
    tail -n 40 "$log"
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]} (see $build/findings)" >&2
  exit 1
fi
