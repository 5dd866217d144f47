#!/usr/bin/env bash
# Runs a command beside a JACK server of its own: `jackd --no-realtime` on the dummy driver
# (no sound card needed) at 44100 Hz with 256-frame periods, under a server name no other run
# uses, passed on in JACK_DEFAULT_SERVER. The server is ended by its process id when the command
# ends, however it ends.
#
#   scripts/with-jack.sh COMMAND [ARGS...]      exit status: the command's
set -euo pipefail

if [ $# -eq 0 ]; then
  echo "with-jack.sh: give the command to run" >&2
  exit 2
fi
if ! command -v jackd >/dev/null; then
  echo "with-jack.sh: jackd is not installed (scripts/install-deps.sh installs jackd2)" >&2
  exit 1
fi

name="kaveltrum-test-$$"
log=$(mktemp "${TMPDIR:-/tmp}/kaveltrum-jackd-XXXXXX.log")
jackd --no-realtime -n "$name" -d dummy -r 44100 -p 256 >"$log" 2>&1 &
server=$!
stop_server() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  rm -f "$log"
}
trap stop_server EXIT

export JACK_DEFAULT_SERVER="$name"
if ! jack_wait -s "$name" -w -t 10 >/dev/null 2>&1; then
  echo "with-jack.sh: the JACK server did not start; its log:" >&2
  cat "$log" >&2
  exit 1
fi
status=0
"$@" || status=$?
exit "$status"
