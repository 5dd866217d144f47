#!/usr/bin/env bash
# Runs a Windows program under wine with quiet logs and Unix line endings on its output, so
# that tools reading it (test discovery, diff) see what a native program would print.
set -o pipefail
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-kaveltrum}
wine "$@" | tr -d '\r'
