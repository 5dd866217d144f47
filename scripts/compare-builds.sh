#!/usr/bin/env bash
# The Windows tool under wine must write the same files as the native tool for the same
# arguments: the MIDI file of the demo row, and a row written by note names with its piano roll.
# Compares them byte for byte.
set -euo pipefail
cd "$(dirname "$0")/.."
work=build/compare
rm -rf "$work" && mkdir -p "$work"
cp examples/ode-to-joy.brumo "$work/native.brumo"
cp examples/ode-to-joy.brumo "$work/windows.brumo"
args=(--gates 20 --noteoff 2 --velocity 90 --bpm 132)
notes=(E4 e4 F4 G4, g4 F4 E4 D4 C4 c4 D4 E4 E4 D4 D4 b200 Db5 Cb3 B-1 G9 0 127)

native() { build/native/kaveltrum-host "$@"; }
windows() { scripts/wine-exec.sh build/windows/kaveltrum-host.exe "$@"; }

for build in native windows; do
  "$build" play "$work/$build.brumo" "${args[@]}" --out "$work/$build.mid" >"$work/$build.txt"
  mkdir "$work/$build"
  "$build" write "$work/$build/words.brumo" "${notes[@]}" >/dev/null
  "$build" play "$work/$build/words.brumo" --noteoff 3 --bpm 97.5 --quiet \
    --svg "$work/$build/words.svg" >/dev/null
done

passed=0 failed=0
for file in .mid /words.brumo /words.svg; do
  if cmp -s "$work/native$file" "$work/windows$file"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "compare-builds: the native and Windows tools wrote different $file files" >&2
  fi
done
if [ "$failed" -ne 0 ]; then
  diff <(sed 's/native/X/' "$work/native.txt") <(sed 's/windows/X/' "$work/windows.txt") >&2 || true
fi
echo "compare-builds: the native and Windows tools wrote the same files, $passed passed, $failed failed"
[ "$failed" -eq 0 ]
