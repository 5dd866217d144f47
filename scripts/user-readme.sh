#!/usr/bin/env bash
# The README that ships in the release packages: the parts of README.md between the lines
# `<!-- README.txt -->` and `<!-- /README.txt -->`, as plain text (code blocks indented by four
# spaces instead of fenced), with the release's version in the names of its files. What lies
# outside them is for those who build the project.
#   user-readme.sh README.md VERSION > README
set -euo pipefail
readme=${1:?usage: user-readme.sh README.md VERSION}
version=${2:?usage: user-readme.sh README.md VERSION}
awk -v version="$version" '
  /^<!-- README.txt -->$/ { if (inside) exit 3; if (parts++) print ""; inside = 1; next }
  /^<!-- \/README.txt -->$/ { if (!inside) exit 3; inside = 0; next }
  !inside { next }
  /^```/ { fenced = !fenced; next }
  { gsub(/kaveltrum-VERSION/, "kaveltrum-" version) }
  { print (fenced && $0 != "" ? "    " $0 : $0) }
  END { if (inside || !parts) exit 3 }
' "$readme" | cat -s | sed '${/^$/d}' || {
  echo "user-readme: $readme has no README.txt parts, or one is not closed" >&2
  exit 1
}
