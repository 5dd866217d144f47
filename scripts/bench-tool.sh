#!/usr/bin/env bash
# The tool as a whole against python3-mido doing the least a MIDI program can with the same files.
#
#   play:   kaveltrum-host play of a 1,000,000-note row at 200 BPM, --out FILE.mid, standard
#           output to /dev/null   vs   mido reading FILE.mid and writing it again
#   record: kaveltrum-host record of FILE.mid into a new row   vs   mido reading FILE.mid and
#           ordering its notes
#
#   scripts/bench-tool.sh [--notes N] [--bin PATH]   (defaults: 1000000, build/native/kaveltrum-host)
#
# Prints the wall-clock seconds of each and their ratios; exits 1 when a ratio is above its
# goal (0.1) or a run fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
tool=$root/build/native/kaveltrum-host
notes=1000000
goal=0.1

while [ $# -gt 0 ]; do
  case $1 in
    --notes) notes=${2:?--notes needs a number}; shift ;;
    --bin) tool=${2:?--bin needs a path}; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    *) echo "bench-tool.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done

if [ ! -x "$tool" ]; then
  echo "bench-tool.sh: no tool at $tool; build it with make native" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kaveltrum-bench-tool-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Seconds the command takes, on the wall clock; its output goes to /dev/null.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$start $end" | awk '{ printf "%.3f", $2 - $1 }'
}

/usr/bin/python3 -c "import sys; open(sys.argv[1], 'wb').write(bytes(36 + i % 48 for i in range(int(sys.argv[2]))))" \
  "$work/row.brumo" "$notes"

echo "bench-tool.sh: $tool, a row of $notes notes"
play=$(seconds "$tool" play "$work/row.brumo" --bpm 200 --out "$work/played.mid")
copy=$(seconds /usr/bin/python3 "$root/scripts/mido_baseline.py" copy "$work/played.mid" "$work/copy.mid")
record=$(seconds "$tool" record "$work/played.mid" "$work/recorded.brumo")
order=$(seconds /usr/bin/python3 "$root/scripts/mido_baseline.py" notes "$work/played.mid")

if ! cmp -s "$work/row.brumo" "$work/recorded.brumo"; then
  echo "bench-tool.sh: recording what was played did not give the row back" >&2
  exit 1
fi

awk -v play="$play" -v copy="$copy" -v record="$record" -v order="$order" -v goal="$goal" '
  function judge(label, tool, mido) {
    ratio = tool / mido
    verdict = ratio <= goal ? "PASS" : "MISS"
    if (verdict == "MISS") missed = 1
    printf "  %-44s%8.3f s  /%8.3f s  = %6.3f   goal <= %s %s\n", label, tool, mido, ratio, goal, verdict
  }
  BEGIN {
    print ""
    print "The tool against python3-mido (wall clock)"
    judge("play --out / mido read and write", play, copy)
    judge("record / mido read and order notes", record, order)
    exit missed
  }'
