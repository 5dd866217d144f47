#!/usr/bin/env bash
# What a user downloads, checked as they would get it: the checksums hold, each archive holds
# what it should, and the unpacked tool passes `check --strict` on the unpacked module, natively
# and under wine (skipped loudly where wine cannot run 32-bit programs). Run after `make dist`.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
version=$(<build/dist-native/VERSION)
unpacked=$(mktemp -d "${TMPDIR:-/tmp}/kaveltrum-unpacked.XXXXXX")
trap 'rm -rf "$unpacked"' EXIT

(cd dist && sha256sum --check --quiet SHA256SUMS)
unzip -q "dist/kaveltrum-$version-windows.zip" -d "$unpacked/windows"
mkdir "$unpacked/linux"
tar -C "$unpacked/linux" -xzf "dist/kaveltrum-$version-linux-x86_64.tar.gz"
win=$unpacked/windows/kaveltrum-$version
linux=$unpacked/linux/kaveltrum-$version

failed=0
fail() {
  echo "check-dist: $*" >&2
  failed=1
}
for file in KAVELTRUM.sem kaveltrum-host.exe README.txt examples/ode-to-joy.brumo; do
  [ -f "$win/$file" ] || fail "the Windows zip lacks $file"
done
for file in KAVELTRUM.so kaveltrum-host kaveltrum-interpose.so kaveltrum-host.1 kaveltrum-host.bash \
  README examples/ode-to-joy.brumo; do
  [ -f "$linux/$file" ] || fail "the Linux archive lacks $file"
done
if grep -qv $'\r$' "$win/README.txt"; then
  fail "README.txt has lines that do not end in CR LF"
fi

scripts/check-dll.sh "$win/KAVELTRUM.sem" || failed=1
(cd "$linux" && ./kaveltrum-host check KAVELTRUM.so --strict) >"$unpacked/native.txt" ||
  { cat "$unpacked/native.txt" >&2; fail "the Linux tool's check --strict failed"; }
if grep '^SKIP ' "$unpacked/native.txt" >&2; then
  fail "the Linux tool skipped a check; kaveltrum-interpose.so belongs beside it"
fi
tail -n 1 "$unpacked/native.txt"

if ! scripts/wine-prefix.sh can-run; then
  echo "check-dist: SKIPPED: this machine cannot run 32-bit programs, so the packaged Windows" \
    "tool cannot check the packaged module under wine here"
else
  scripts/wine-prefix.sh start "$unpacked/drive-d" >/dev/null
  (cd "$win" && "$root/scripts/wine-exec.sh" kaveltrum-host.exe check KAVELTRUM.sem --strict) \
    >"$unpacked/windows.txt" ||
    { cat "$unpacked/windows.txt" >&2; fail "the Windows tool's check --strict failed under wine"; }
  scripts/wine-prefix.sh stop
  tail -n 1 "$unpacked/windows.txt"
fi
[ "$failed" -eq 0 ] && echo "check-dist: the packaged files of $version pass"
exit "$failed"
