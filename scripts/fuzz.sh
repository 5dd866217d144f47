#!/usr/bin/env bash
# A bounded run of the call-sequence fuzzer, from a copy of the seed corpus so that the
# committed corpus stays as it is.
#
#   scripts/fuzz.sh [seconds]      default 30; FUZZ_SECONDS works too
#
# FUZZ_BINARY names another build of the fuzzer (default build/fuzz/kaveltrum-fuzz). Prints the
# number of executions. Exits non-zero when the fuzzer finds a crash, a hang, a leak or a
# broken invariant; the input that did it is kept next to the binary, in crashes/.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-30}}
fuzzer=${FUZZ_BINARY:-$root/build/fuzz/kaveltrum-fuzz}
if [ ! -x "$fuzzer" ]; then
  echo "fuzz.sh: no fuzzer at $fuzzer (build it with: make fuzz)" >&2
  exit 2
fi
fuzzer=$(cd "$(dirname "$fuzzer")" && pwd)/$(basename "$fuzzer")
crashes=$(dirname "$fuzzer")/crashes
mkdir -p "$crashes"

# Everything the run writes (the grown corpus, the fuzzer's scratch folder with its record
# files and log) stays in one temporary folder.
work=$(mktemp -d "${TMPDIR:-/tmp}/kaveltrum-fuzz-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus" "$work/tmp"
cp "$root/fuzz/corpus/"* "$work/corpus/"

echo "fuzz.sh: fuzzing for ${seconds} s from $(ls "$work/corpus" | wc -l) seeds"
status=0
(cd "$work" && TMPDIR="$work/tmp" "$fuzzer" -max_total_time="$seconds" -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$crashes/" corpus) >"$work/log" 2>&1 || status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
if [ -z "$executions" ]; then # a crash ends the run before the statistics
  executions=$(grep -o '^#[0-9]*' "$work/log" | tail -n 1 | tr -d '#')
fi
echo "fuzz.sh: ${executions:-0} executions"

if [ "$status" -ne 0 ]; then
  grep -E 'kaveltrum-fuzz:|ERROR|SUMMARY|Test unit written' "$work/log" >&2 || tail -n 40 "$work/log" >&2
  echo "fuzz.sh: the fuzzer failed (exit $status); reproduce with: $fuzzer <input>" >&2
  exit 1
fi
echo "fuzz.sh: no crash"
