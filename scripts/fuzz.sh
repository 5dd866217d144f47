#!/usr/bin/env bash
# A bounded run of each fuzzer from a copy of its seed corpus, so that the committed corpora stay
# as they are: the call-sequence fuzzer (fuzz/corpus/) and the MIDI file reader's
# (fuzz/midi_corpus/), one after the other.
#
#   scripts/fuzz.sh [seconds]      per fuzzer, default 30; FUZZ_SECONDS works too
#
# FUZZ_DIR names another build folder of the fuzzers (default build/fuzz). Prints the number of
# executions of each. Exits non-zero when a fuzzer finds a crash, a hang, a leak or a broken
# invariant; the input that did it is kept next to the binary, in crashes/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-30}}
dir=${FUZZ_DIR:-$root/build/fuzz}

# fuzz NAME CORPUS: one bounded run; returns non-zero when the fuzzer failed.
fuzz() {
  local fuzzer=$dir/$1 corpus=$2
  if [ ! -x "$fuzzer" ]; then
    echo "fuzz.sh: no fuzzer at $fuzzer (build it with: make fuzz)" >&2
    return 2
  fi
  fuzzer=$(cd "$(dirname "$fuzzer")" && pwd)/$(basename "$fuzzer")
  local crashes=$(dirname "$fuzzer")/crashes
  mkdir -p "$crashes"

  # Everything the run writes (the grown corpus, the fuzzer's scratch folder with its record
  # files and log) stays in one temporary folder.
  local work
  work=$(mktemp -d "${TMPDIR:-/tmp}/kaveltrum-fuzz-run.XXXXXX")
  mkdir "$work/corpus" "$work/tmp"
  cp "$corpus/"* "$work/corpus/"

  echo "fuzz.sh: $1 for ${seconds} s from $(ls "$work/corpus" | wc -l) seeds"
  local status=0
  (cd "$work" && TMPDIR="$work/tmp" "$fuzzer" -max_total_time="$seconds" -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$crashes/" corpus) >"$work/log" 2>&1 || status=$?

  local executions
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  if [ -z "$executions" ]; then # a crash ends the run before the statistics
    executions=$(grep -o '^#[0-9]*' "$work/log" | tail -n 1 | tr -d '#')
  fi
  echo "fuzz.sh: $1: ${executions:-0} executions"

  if [ "$status" -ne 0 ]; then
    grep -E 'kaveltrum-(midi-)?fuzz:|ERROR|SUMMARY|Test unit written' "$work/log" >&2 ||
      tail -n 40 "$work/log" >&2
    echo "fuzz.sh: $1 failed (exit $status); reproduce with: $fuzzer <input>" >&2
    rm -rf "$work"
    return 1
  fi
  rm -rf "$work"
  echo "fuzz.sh: $1: no crash"
}

failed=0
fuzz kaveltrum-fuzz "$root/fuzz/corpus" || failed=1
fuzz kaveltrum-midi-fuzz "$root/fuzz/midi_corpus" || failed=1
exit $failed
