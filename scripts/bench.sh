#!/usr/bin/env bash
# Runs kaveltrum-bench and judges each operation against its floor, measured in the same run.
#
#   scripts/bench.sh                 repetitions, then every ratio with its goal and PASS/MISS
#   scripts/bench.sh --smoke         each benchmark once, briefly; only checks that all of them run
#   scripts/bench.sh --repetitions N (default 9)
#   scripts/bench.sh --time real     judge wall-clock medians instead of CPU time
#   scripts/bench.sh --bin PATH      another build of the benchmark (default build/native/...,
#                                    or $KAVELTRUM_BENCH_BIN)
#   scripts/bench.sh -- ARGS         further arguments for the benchmark program
#
# The report of a full run is kept beside the program (bench-report.json) for bench-tool.sh.
#
# Repetitions of different benchmarks are interleaved at random, so a disturbance on the machine
# falls on an operation and its floor alike; the ratios are of medians. CPU time is judged by
# default: another process on the machine disturbs it less than the wall clock.
#
# Exit status: 0 when every goal is met (or, with --smoke, every benchmark ran), 1 otherwise.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${KAVELTRUM_BENCH_BIN:-$root/build/native/kaveltrum-bench}
repetitions=9
time_field=cpu_time
smoke=0
extra=()

while [ $# -gt 0 ]; do
  case $1 in
    --smoke) smoke=1 ;;
    --repetitions) repetitions=${2:?--repetitions needs a number}; shift ;;
    --time)
      case ${2:-} in
        cpu) time_field=cpu_time ;;
        real) time_field=real_time ;;
        *) echo "bench.sh: --time takes cpu or real" >&2; exit 2 ;;
      esac
      shift ;;
    --bin) bin=${2:?--bin needs a path}; shift ;;
    --) shift; extra=("$@"); break ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "bench.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

if [ ! -x "$bin" ]; then
  echo "bench.sh: no benchmark program at $bin; build it with" >&2
  echo "  cmake --preset native && cmake --build --preset native --target kaveltrum-bench" >&2
  exit 1
fi

report=$(mktemp "${TMPDIR:-/tmp}/kaveltrum-bench-XXXXXX.json")
trap 'rm -f "$report"' EXIT

if [ "$smoke" -eq 1 ]; then
  run=(--benchmark_min_time=0.001 --benchmark_repetitions=1)
else
  run=(--benchmark_repetitions="$repetitions" --benchmark_enable_random_interleaving=true
       --benchmark_report_aggregates_only=true)
fi

echo "bench.sh: $bin"
"$bin" "${run[@]}" --benchmark_out="$report" --benchmark_out_format=json "${extra[@]}"

# scripts/bench-tool.sh judges play against the module's blocks of this run.
[ "$smoke" -eq 1 ] || cp "$report" "$(dirname "$bin")/bench-report.json"

/usr/bin/python3 "$root/scripts/bench_ratios.py" "$report" "$time_field" "$smoke"
