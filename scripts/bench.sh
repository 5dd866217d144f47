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

/usr/bin/python3 - "$report" "$time_field" "$smoke" <<'PY'
import json
import sys

report_path, field, smoke = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
with open(report_path) as f:
    report = json.load(f)

to_ns = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
expected = ["BM_EmptyRoutine", "BM_ProcessBlockIdle", "BM_ProcessBlockNote", "BM_RecordNote",
            "BM_BareAppend"]
for size in (1024, 65536, 1048576):
    expected += [f"BM_LoadRow/{size}", f"BM_BareFileLoad/{size}"]

errors = {}
times = {}  # run name -> (real ns, cpu ns): the median, or the single run of a smoke test
for b in report.get("benchmarks", []):
    name = b.get("run_name", b["name"])
    if b.get("error_occurred"):
        errors[name] = b.get("error_message", "error")
        continue
    is_median = b.get("run_type") == "aggregate" and b.get("aggregate_name") == "median"
    if is_median or (smoke and b.get("run_type") == "iteration"):
        scale = to_ns[b.get("time_unit", "ns")]
        times[name] = (b["real_time"] * scale, b["cpu_time"] * scale)

failed = False
for name in expected:
    if name in errors:
        print(f"ERROR {name}: {errors[name]}")
        failed = True
    elif name not in times:
        print(f"ERROR {name}: no result")
        failed = True

if smoke:
    print("smoke: every benchmark ran" if not failed else "smoke: FAILED")
    sys.exit(1 if failed else 0)

print()
print(f"Medians ({'CPU' if field == 'cpu_time' else 'wall-clock'} time judged)")
print(f"  {'benchmark':<28}{'real ns':>14}{'cpu ns':>14}")
for name in expected:
    if name in times:
        real, cpu = times[name]
        print(f"  {name:<28}{real:>14.2f}{cpu:>14.2f}")

goals = [("BM_ProcessBlockIdle", "BM_EmptyRoutine", 4.0),
         ("BM_ProcessBlockNote", "BM_EmptyRoutine", 10.0)]
goals += [(f"BM_LoadRow/{s}", f"BM_BareFileLoad/{s}", 1.2) for s in (1024, 65536, 1048576)]
goals += [("BM_RecordNote", "BM_BareAppend", 1.5)]

print()
print("Ratios of medians")
column = 0 if field == "real_time" else 1
for operation, floor, goal in goals:
    label = f"{operation} / {floor}"
    if operation not in times or floor not in times:
        print(f"  {label:<52}{'-':>8}   goal <= {goal:<5} MISS (no result)")
        failed = True
        continue
    ratio = times[operation][column] / times[floor][column]
    verdict = "PASS" if ratio <= goal else "MISS"
    failed |= verdict == "MISS"
    print(f"  {label:<52}{ratio:>8.2f}   goal <= {goal:<5} {verdict}")

sys.exit(1 if failed else 0)
PY
