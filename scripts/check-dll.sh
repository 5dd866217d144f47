#!/usr/bin/env bash
# The Windows module file as the host sees it, read from the file alone (no wine needed): it
# imports nothing but KERNEL32.dll and msvcrt.dll, and exports exactly the two entries.
#   check-dll.sh MODULE.sem
set -euo pipefail
module=${1:?usage: check-dll.sh MODULE.sem}
headers=$(i686-w64-mingw32-objdump -p "$module")

imports=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | sort | tr '\n' ' ')
exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^\t\[ *[0-9]*\] //p' <<<"$headers" |
  sort | tr '\n' ' ')

failed=0
if [ "$imports" != "KERNEL32.dll msvcrt.dll " ]; then
  echo "check-dll: $module imports $imports, not just KERNEL32.dll and msvcrt.dll" >&2
  failed=1
fi
if [ "$exports" != "getModuleProperties makeModule " ]; then
  echo "check-dll: $module exports $exports, not just getModuleProperties and makeModule" >&2
  failed=1
fi
[ "$failed" -eq 0 ] && echo "check-dll: $module imports KERNEL32.dll and msvcrt.dll, exports the two entries"
exit "$failed"
