#!/usr/bin/env bash
# The release is made twice and must come out the same to the byte: once here by
# scripts/dist.sh (what `make dist` does), once by a copy of this tree in another folder, some
# minutes later and without any compiler cache. Compares the archives, the checksums and every
# packaged file, and names each one that differs.
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

# The copy holds the tree as git sees it, uncommitted changes included, build outputs not. It
# is taken first, so that both builds start from the same sources.
elsewhere=$(mktemp -d "${TMPDIR:-/tmp}/kaveltrum-reproduced.XXXXXX")
trap 'rm -rf "$elsewhere"' EXIT
copy=$elsewhere/sources
mkdir "$copy"
git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do
    if [ -e "$file" ] || [ -L "$file" ]; then printf '%s\0' "$file"; fi
  done |
  tar --null --files-from=- --create --file=- | tar -C "$copy" --extract --file=-

scripts/dist.sh
echo "check-reproducible: building the release again in $copy"
CCACHE_DISABLE=1 "$copy/scripts/dist.sh" >"$elsewhere/build.log" 2>&1 || {
  cat "$elsewhere/build.log" >&2
  echo "check-reproducible: the second build failed" >&2
  exit 1
}

same=0 differ=0
while IFS= read -r -d '' file; do
  if cmp -s "$file" "$copy/$file"; then
    same=$((same + 1))
  else
    differ=$((differ + 1))
    echo "check-reproducible: $file differs between the two builds" >&2
  fi
done < <(cd "$copy" && find dist build/dist-stage -type f -print0 | sort -z)
if [ "$(find dist build/dist-stage -type f | wc -l)" -ne $((same + differ)) ]; then
  differ=$((differ + 1))
  echo "check-reproducible: the two builds packed different sets of files" >&2
fi
echo "check-reproducible: $same files the same in both builds, $differ differ"
[ "$differ" -eq 0 ]
