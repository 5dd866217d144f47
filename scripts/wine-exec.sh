#!/usr/bin/env bash
# Runs a Windows program under wine with quiet logs and Unix line endings on its output, so
# that tools reading it (test discovery, diff) see what a native program would print.
#
# Now and then wine itself loses a starting program's connection to its server ("wine client
# error: ... Connection reset by peer") before the program has run; that one failure is wine's,
# not the program's, so the program is started once more. Its standard error is passed on
# when it ends.
set -o pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-kaveltrum}
errors=$(mktemp)
trap 'rm -f "$errors"' EXIT
for attempt in 1 2; do
  wine "$@" 2>"$errors" | tr -d '\r'
  status=$?
  if [ "$status" -ne 0 ] && [ "$attempt" -eq 1 ] && grep -q '^wine client error' "$errors"; then
    echo "wine-exec: wine lost its server connection ($(head -n 1 "$errors")); starting again" >&2
    continue
  fi
  break
done
cat "$errors" >&2
exit "$status"
