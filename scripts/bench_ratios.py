#!/usr/bin/python3
"""Judges a kaveltrum-bench JSON report: every operation's median against its floor's.

Usage: bench_ratios.py REPORT.json cpu_time|real_time SMOKE(0|1)
Prints the medians and the ratios with their goals; exits 1 when a goal is missed or a
benchmark gave no result (with SMOKE 1: only when one did not run).
"""
import json
import sys

report_path, field, smoke = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
with open(report_path) as f:
    report = json.load(f)

to_ns = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
expected = ["BM_EmptyRoutine", "BM_ProcessBlockIdle", "BM_ProcessBlockNote", "BM_HostedBlock",
            "BM_RecordNote", "BM_BareAppend", "BM_LivePeriod", "BM_LivePeriodModuleOnly"]
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

# (operation, floor, goal, how many of the floor make one operation)
goals = [("BM_ProcessBlockIdle", "BM_EmptyRoutine", 4.0, 1),
         ("BM_ProcessBlockNote", "BM_EmptyRoutine", 10.0, 1),
         ("BM_HostedBlock", "BM_ProcessBlockIdle", 3.0, 1)]
goals += [(f"BM_LoadRow/{s}", f"BM_BareFileLoad/{s}", 1.2, 1) for s in (1024, 65536, 1048576)]
# a recorded note reaches the module through the record's event entry, a call through an
# address that alone costs what the empty routine does, and then makes the bare append
goals += [("BM_RecordNote", ("BM_EmptyRoutine", "BM_BareAppend"), 2.0, 1)]
# a 256-frame period of the live host against the module's own four blocks of 64
goals += [("BM_LivePeriod", "BM_ProcessBlockIdle", 1.5, 4)]

print()
print("Ratios of medians")
column = 0 if field == "real_time" else 1
for operation, floor, goal, count in goals:
    floors = floor if isinstance(floor, tuple) else (floor,)
    label = f"{operation} / {' + '.join(floors)}" + (f" x {count}" if count > 1 else "")
    if operation not in times or any(f not in times for f in floors):
        print(f"  {label:<52}{'-':>8}   goal <= {goal:<5} MISS (no result)")
        failed = True
        continue
    ratio = times[operation][column] / (sum(times[f][column] for f in floors) * count)
    verdict = "PASS" if ratio <= goal else "MISS"
    failed |= verdict == "MISS"
    print(f"  {label:<52}{ratio:>8.2f}   goal <= {goal:<5} {verdict}")

# Not judged: what the live period costs with no host at all, the module's blocks alone fed the
# same frames and levels, shows how much of the period's ratio is the host's.
if "BM_LivePeriodModuleOnly" in times and "BM_ProcessBlockIdle" in times:
    alone = times["BM_LivePeriodModuleOnly"][column] / (times["BM_ProcessBlockIdle"][column] * 4)
    print(f"  {'BM_LivePeriodModuleOnly / BM_ProcessBlockIdle x 4':<52}{alone:>8.2f}"
          "   the module alone, not judged")

sys.exit(1 if failed else 0)
