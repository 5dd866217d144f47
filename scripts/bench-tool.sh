#!/usr/bin/env bash
# The tool as a whole against the C tools Debian packages for the same work, midicsv (a MIDI
# file to text) and csvmidi (text to a MIDI file), on the same files, and against the module's
# own blocks for the same run:
#
#   list F > /dev/null                      vs  midicsv F > /dev/null           goal <= 0.5
#   record F ROW --new                      vs  midicsv F > /dev/null           goal <= 1.0
#   play ROW --bpm 200 --quiet --out OUT    vs  csvmidi of OUT's notes as CSV   goal <= 0.5
#   play, as above                          vs  the module's idle and note blocks of that run,
#                                               from the benchmarks' medians    goal <= 2.0
#
# F is BIG.mid, the file play writes of a row of --notes notes at 200 BPM, and separately the
# largest file of the test corpus (fuzz/midi_corpus) that both tools read. On that file the time
# is the program's start, and a goal below its floor (a program that does nothing for list, one
# that only opens the module file for record) is reported as out of reach, not as missed.
#
#   scripts/bench-tool.sh [--notes N] [--runs N] [--bin PATH] [--report BENCH.json]
#     defaults: 1000000 notes, 7 runs, build/native/kaveltrum-host, and the report the last
#     scripts/bench.sh wrote (build/native/bench-report.json); without one the two block
#     benchmarks are run here.
#
# Judges the medians of CPU time (user + system) of --runs runs, as bench.sh judges CPU time:
# other work on the machine disturbs it less than the wall clock; both are printed. Exits 1
# when a goal is missed or a run fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=$root/build/native/kaveltrum-host
notes=1000000
runs=7
report=$root/build/native/bench-report.json

while [ $# -gt 0 ]; do
  case $1 in
    --notes) notes=${2:?--notes needs a number}; shift ;;
    --runs) runs=${2:?--runs needs a number}; shift ;;
    --bin) tool=${2:?--bin needs a path}; shift ;;
    --report) report=${2:?--report needs a path}; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "bench-tool.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

for needed in "$tool" /usr/bin/midicsv /usr/bin/csvmidi; do
  if [ ! -x "$needed" ]; then
    echo "bench-tool.sh: no $needed (make native builds the tool; the package midicsv has the others)" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/kaveltrum-bench-tool-XXXXXX")
trap 'rm -rf "$work"' EXIT

# "CPU WALL": the medians of `runs` runs of the command, its standard output to $1.
times() {
  local out=$1
  shift
  /usr/bin/python3 "$root/scripts/run_times.py" "$runs" "$out" -- "$@"
}

/usr/bin/python3 -c "import sys; open(sys.argv[1], 'wb').write(bytes(36 + i % 48 for i in range(int(sys.argv[2]))))" \
  "$work/row.brumo" "$notes"
"$tool" play "$work/row.brumo" --bpm 200 --quiet --out "$work/BIG.mid" > "$work/play.txt"
/usr/bin/midicsv "$work/BIG.mid" > "$work/BIG.csv"

# The corpus file: the largest one that both tools read.
corpus=
for file in $(ls -S "$root"/fuzz/midi_corpus/*.mid); do
  if "$tool" list "$file" > /dev/null 2>&1 && /usr/bin/midicsv "$file" > /dev/null 2>&1; then
    corpus=$file
    break
  fi
done

echo "bench-tool.sh: $tool, BIG.mid of $notes notes ($(stat -c %s "$work/BIG.mid") bytes)," \
  "$(basename "$corpus") ($(stat -c %s "$corpus") bytes); medians of $runs runs"
results=$work/results.txt
: > "$results"
# One line of results: label, goal, then the CPU and wall medians of the tool and of its peer,
# and of the floor where one is measured: what no implementation can go below.
measure() {
  local label=$1 goal=$2
  echo "$label|$goal|$3|$4|${5:-}" >> "$results"
}

# On a small file the time is the program's start. Its floors: a program that does nothing, and
# one that only opens the module file (with the C++ runtime the module needs).
printf '#include <dlfcn.h>\nint main(int, char** v) { return dlopen(v[1], RTLD_NOW) ? 0 : 1; }\n' |
  c++ -O2 -x c++ - -o "$work/open-module" -ldl
for file in "$work/BIG.mid" "$corpus"; do
  name=$(basename "$file")
  peer=$(times /dev/null /usr/bin/midicsv "$file")
  list_floor= record_floor=
  if [ "$file" = "$corpus" ]; then
    list_floor=$(times /dev/null /bin/true)
    record_floor=$(times /dev/null "$work/open-module" "${tool%/*}/KAVELTRUM.so")
  fi
  measure "list $name / midicsv" 0.5 "$(times /dev/null "$tool" list "$file")" "$peer" "$list_floor"
  measure "record $name / midicsv" 1.0 \
    "$(times /dev/null "$tool" record "$file" "$work/recorded.brumo" --new)" "$peer" "$record_floor"
done
"$tool" record "$work/BIG.mid" "$work/again.brumo" > /dev/null
if ! cmp -s "$work/row.brumo" "$work/again.brumo"; then
  echo "bench-tool.sh: recording what was played did not give the row back" >&2
  exit 1
fi

play=$(times /dev/null "$tool" play "$work/row.brumo" --bpm 200 --quiet --out "$work/played.mid")
measure "play --quiet --out / csvmidi" 0.5 "$play" \
  "$(times /dev/null /usr/bin/csvmidi "$work/BIG.csv" "$work/csvmidi.mid")"
if ! cmp -s "$work/played.mid" "$work/BIG.mid"; then
  echo "bench-tool.sh: two runs of play wrote different files" >&2
  exit 1
fi

# The module's own blocks in that run: each message was sent by a block of its own (a NOTE_ON
# at a gate's rise, a NOTE_OFF at its fall), every other block was idle.
if [ ! -f "$report" ]; then
  report=$work/blocks.json
  "${tool%/*}/kaveltrum-bench" --benchmark_filter='^BM_ProcessBlock(Idle|Note)$' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_out="$report" --benchmark_out_format=json > /dev/null
fi
floor=$(/usr/bin/python3 - "$report" "$work/play.txt" <<'EOF'
import json, re, sys
medians = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[b.get("time_unit", "ns")]
        medians[b["run_name"]] = (b["cpu_time"] * scale, b["real_time"] * scale)
summary = open(sys.argv[2]).read()
messages, seconds = re.search(r"sent (\d+) messages, \d+ of them NOTE_ONs, in ([0-9.]+) s", summary).groups()
blocks = round(float(seconds) * 44100 / 64) + 1  # and the one that arms the first gate
note_blocks = int(messages)
idle, note = medians["BM_ProcessBlockIdle"], medians["BM_ProcessBlockNote"]
cpu, wall = ((blocks - note_blocks) * idle[i] + note_blocks * note[i] for i in (0, 1))
print(f"{cpu:.4f} {wall:.4f}")
EOF
)
measure "play / the module's blocks of the run" 2.0 "$play" "$floor"

awk -F'|' '
  BEGIN {
    print ""
    print "The tool against the C MIDI tools and the module (medians, CPU time judged)"
    printf "  %-46s %17s %17s %7s\n", "", "tool cpu / wall", "peer cpu / wall", "ratio"
  }
  {
    split($3, tool, " "); split($4, peer, " "); split($5, floor, " ")
    ratio = tool[1] / peer[1]
    if (ratio <= $2 + 0) verdict = "goal <= " $2 " PASS"
    else if ($5 != "" && floor[1] / peer[1] > $2 + 0)
      verdict = sprintf("goal <= %s out of reach: the floor is %.2fx", $2, floor[1] / peer[1])
    else { verdict = "goal <= " $2 " MISS"; missed = 1 }
    printf "  %-46s %7.4f / %7.4f %7.4f / %7.4f %7.3f   %s\n", $1, tool[1], tool[2], peer[1], peer[2], ratio, verdict
  }
  END {
    print "  (the floor of a small file: a program that does nothing for list, one that only opens"
    print "  the module file for record; a goal below it is out of reach and not judged)"
    exit missed
  }' "$results"
