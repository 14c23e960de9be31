#!/usr/bin/env bash
# Starts a translation of the program into another language: writes
# translations/dralvo_<language>.ts with every text of the code, ready for
# Qt Linguist (or any editor of .ts files). The next build compiles it and the
# program uses it for users of that language.
# Usage: scripts/add-translation.sh LANGUAGE     (for example de, pt_BR)
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 LANGUAGE (for example de)" >&2; exit 2; }
cd "$(dirname "$0")/.."
ts="translations/dralvo_$1.ts"
[ ! -e "$ts" ] || { echo "$ts exists already" >&2; exit 1; }
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
dirs=()
for d in app terminal comm appinfo widgets history macros; do [ -d "$d" ] && dirs+=("$d"); done
"$lupdate" -silent -I . -locations none -no-obsolete -source-language en -target-language "$1" \
  "${dirs[@]}" -ts "$ts"
echo "Written $ts: translate its entries, then build."
