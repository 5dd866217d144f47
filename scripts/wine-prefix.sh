#!/usr/bin/env bash
# Prepares wine for the Windows test suite, or ends it afterwards.
#   wine-prefix.sh can-run                whether wine can run 32-bit programs on this machine
#   wine-prefix.sh start DRIVE_D_FOLDER   creates the prefix once, points drive D: at the folder
#   wine-prefix.sh stop                   ends the wine server
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-kaveltrum}

case "${1:-}" in
can-run)
  # The wine server of wine32 is itself a 32-bit Linux program; a kernel built or booted
  # without 32-bit support refuses it ("Exec format error"), and then no Windows program runs.
  if ! why=$(wineserver --version 2>&1 >/dev/null); then
    echo "wine-prefix: wine cannot run here: ${why:-its server does not start}" >&2
    exit 1
  fi
  ;;
start)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-prefix: creating $WINEPREFIX"
    # No .NET or HTML engine is needed, so wine never offers to download them.
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot --init >/dev/null 2>&1 </dev/null || true
    wineserver -w
  fi
  drive_d=${2:?folder for drive D:}
  mkdir -p "$drive_d"
  ln -sfn "$(cd "$drive_d" && pwd)" "$WINEPREFIX/dosdevices/d:"
  ;;
stop)
  wineserver -k 2>/dev/null || true
  ;;
*)
  echo "usage: wine-prefix.sh can-run | start DRIVE_D_FOLDER | stop" >&2
  exit 2
  ;;
esac
