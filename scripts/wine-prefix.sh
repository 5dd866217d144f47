#!/usr/bin/env bash
# Prepares wine for the Windows test suite, or ends it afterwards.
#   wine-prefix.sh start DRIVE_D_FOLDER   creates the prefix once, points drive D: at the folder
#   wine-prefix.sh stop                   ends the wine server
set -euo pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-kaveltrum}

case "${1:-}" in
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
  echo "usage: wine-prefix.sh start DRIVE_D_FOLDER | stop" >&2
  exit 2
  ;;
esac
