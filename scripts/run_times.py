#!/usr/bin/python3
"""Runs a command several times and prints the medians of its CPU and wall-clock seconds.

Usage: run_times.py RUNS OUT -- COMMAND [ARG...]

The command's standard output goes to the file OUT (/dev/null to drop it), its standard error
to ours. CPU time is user plus system time of the command, as the kernel counts it. Prints one line, "CPU WALL", both medians in seconds; exits 1 when a run fails.
"""
import os
import statistics
import subprocess
import sys
import time


def one_run(command, out):
    start = time.monotonic()
    with open(out, "wb") as sink:
        child = subprocess.Popen(command, stdout=sink)
        _, status, usage = os.wait4(child.pid, 0)
        child.returncode = os.waitstatus_to_exitcode(status)
    wall = time.monotonic() - start
    return child.returncode, usage.ru_utime + usage.ru_stime, wall


def main():
    if len(sys.argv) < 5 or sys.argv[3] != "--":
        sys.exit(__doc__)
    runs, out, command = int(sys.argv[1]), sys.argv[2], sys.argv[4:]
    cpus, walls = [], []
    for _ in range(runs):
        status, cpu, wall = one_run(command, out)
        if status != 0:
            print(f"run_times.py: {' '.join(command)} exited with {status}", file=sys.stderr)
            sys.exit(1)
        cpus.append(cpu)
        walls.append(wall)
    print(f"{statistics.median(cpus):.4f} {statistics.median(walls):.4f}")


main()
