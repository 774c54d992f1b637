#!/usr/bin/env bash
# Collects every translatable text of the tree into translations/brisca_en.ts,
# keeping the English already written. New entries come out "unfinished".
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
LUPDATE=$(command -v lupdate6 || command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
cd "$ROOT"
# Only the subsystem folders the tree has so far.
dirs=()
for d in app config comm data device session sim tools view; do
    [ -d "$d" ] && dirs+=("$d")
done
"$LUPDATE" -no-obsolete -locations none -source-language it -target-language en \
    "${dirs[@]}" -ts translations/brisca_en.ts
