#!/usr/bin/env bash
# The Windows tool under wine must write the same MIDI file as the native tool for the same
# arguments. Runs both on the demo row and compares the files byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
work=build/compare
rm -rf "$work" && mkdir -p "$work"
cp examples/ode-to-joy.brumo "$work/native.brumo"
cp examples/ode-to-joy.brumo "$work/windows.brumo"
args=(--gates 20 --noteoff 2 --velocity 90 --bpm 132)

build/native/kaveltrum-host play "$work/native.brumo" "${args[@]}" --out "$work/native.mid" \
  >"$work/native.txt"
scripts/wine-exec.sh build/windows/kaveltrum-host.exe play "$work/windows.brumo" "${args[@]}" \
  --out "$work/windows.mid" >"$work/windows.txt"

if cmp -s "$work/native.mid" "$work/windows.mid"; then
  echo "compare-builds: the native and Windows tools wrote the same MIDI file, 1 passed, 0 failed"
else
  echo "compare-builds: the MIDI files differ:" >&2
  diff <(sed 's/native/X/' "$work/native.txt") <(sed 's/windows/X/' "$work/windows.txt") >&2 || true
  exit 1
fi
