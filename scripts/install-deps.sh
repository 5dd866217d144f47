#!/usr/bin/env bash
# Installs what building and testing KAVELTRUM needs on Debian 12, and only what is missing
# (JACK: its server for the live tests, its library for the live command; groff-base, not the
# whole groff with its X and PostScript tools, and man-db to read the manual page; midicsv: the
# peer tools `make bench` times the tool against).
# Safe to run again and again: a machine that has everything is left alone.
set -euo pipefail

packages=(
  cmake make g++ git zip unzip
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  wine wine32:i386
  clang libclang-rt-14-dev clang-tidy clang-format
  python3 python3-mido
  groff-base man-db
  midicsv
  jackd2 libjack-jackd2-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails an index now and then; try again, and if one index still
# cannot be read, go on with the others: the install below says plainly if a package is missing.
for attempt in 1 2 3; do
  apt-get update -qq && break
  echo "install-deps: apt-get update failed (attempt $attempt of 3)" >&2
  [ "$attempt" -eq 3 ] || sleep $((attempt * 5))
done
if ! apt-get install -y -qq "${missing[@]}" >/dev/null; then
  # wine32 is the one package of another architecture: when a mirror's i386 index lags behind
  # its amd64 one, the two cannot agree. Everything else still installs, and the Windows tests
  # say loudly that they were skipped.
  rest=()
  for package in "${missing[@]}"; do
    case $package in wine | wine32:i386) ;; *) rest+=("$package") ;; esac
  done
  echo "install-deps: wine would not install from this mirror; installing the rest without it" >&2
  [ ${#rest[@]} -eq 0 ] || apt-get install -y -qq "${rest[@]}" >/dev/null
fi
