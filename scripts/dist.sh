#!/usr/bin/env bash
# Builds the release from a clean state and packs it into dist/:
#   kaveltrum-VERSION-windows.zip          KAVELTRUM.sem and kaveltrum-host.exe, README.txt, examples
#   kaveltrum-VERSION-linux-x86_64.tar.gz  the tool and the module for Linux, the manual page and
#                                          the bash completion, README, examples
#   SHA256SUMS                             the checksums of both
#
# The same sources give the same bytes wherever and whenever they are built: every time stamp
# is the last commit's (SOURCE_DATE_EPOCH, taken from git unless set), the build's own paths are
# mapped away, the linkers write no time, and the archives hold sorted members owned by root.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  if ! SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null); then
    echo "dist: not a git checkout; set SOURCE_DATE_EPOCH to the sources' time" >&2
    exit 1
  fi
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022

# Fresh build folders of their own: nothing of an earlier build can leak in.
for preset in dist-native dist-windows; do
  rm -rf "build/$preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
version=$(<build/dist-native/VERSION)
native=build/dist-native windows=build/dist-windows

stage=build/dist-stage
rm -rf "$stage" dist
linux=$stage/linux/kaveltrum-$version
win=$stage/windows/kaveltrum-$version
mkdir -p "$linux/examples" "$win/examples" dist

# The Linux tool preloads kaveltrum-interpose.so into the child of the realtime-safety check to
# count a module's calls; it must lie beside the tool.
install -m 755 "$native/kaveltrum-host" "$linux/"
install -m 644 "$native/KAVELTRUM.so" "$native/kaveltrum-interpose.so" "$linux/"
install -m 644 "$native/kaveltrum-host.1" "$native/kaveltrum-host.bash" "$linux/"
scripts/user-readme.sh README.md "$version" >"$linux/README"
install -m 644 examples/* "$linux/examples/"

install -m 644 "$windows/KAVELTRUM.sem" "$win/"
install -m 755 "$windows/kaveltrum-host.exe" "$win/"
sed 's/$/\r/' "$linux/README" >"$win/README.txt"
install -m 644 examples/* "$win/examples/"

find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

(cd "$stage/windows" && find "kaveltrum-$version" | sort |
  zip -X -q -9 -@ "$root/dist/kaveltrum-$version-windows.zip")
tar -C "$stage/linux" --create --format=gnu --sort=name --owner=0 --group=0 --numeric-owner \
  --mtime="@$SOURCE_DATE_EPOCH" "kaveltrum-$version" |
  gzip -n -9 >"dist/kaveltrum-$version-linux-x86_64.tar.gz"
(cd dist && sha256sum -- *.zip *.tar.gz >SHA256SUMS)

for file in dist/*; do
  echo "dist: $file, $(stat -c %s "$file") bytes"
done
