#!/usr/bin/env bash
# clang-tidy over every source file of the native build (its compile_commands.json), with the
# checks of .clang-tidy; any finding fails the run. The interposer of check's realtime-safety
# is left out: it defines the C library's own functions, which the checks take for mistakes.
set -uo pipefail
cd "$(dirname "$0")/.."
build=build/native
log=$build/tidy.log
files=$(python3 -c 'import json,sys; print(len(json.load(open(sys.argv[1]))))' \
  "$build/compile_commands.json")
run-clang-tidy -p "$build" -j "$(nproc)" -quiet '^(?!.*/validator/interpose/).*$' >"$log" 2>&1
status=$?
findings=$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '^/.*: (warning|error): ' | sort -u)
if [ -n "$findings" ] || [ "$status" -ne 0 ]; then
  echo "$findings" >&2
  echo "tidy: $(grep -c . <<<"$findings") findings in $files files (all of it in $log)" >&2
  exit 1
fi
echo "tidy: $files files, no findings"
