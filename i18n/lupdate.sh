#!/usr/bin/env bash
# Brings the window folders' translatable texts into a catalogue:
#   i18n/lupdate.sh [CATALOGUE]   (default: i18n/yuvlumo_en.ts)
# New texts arrive unfinished, removed ones are dropped. The sources carry
# no line numbers into the catalogue, so unrelated edits leave it alone.
# LUPDATE names the lupdate program (default: lupdate from PATH).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
ts="$(realpath -m "${1:-$root/i18n/yuvlumo_en.ts}")"
cd "$root"
"${LUPDATE:-lupdate}" -silent -I "$root" -locations none -no-obsolete -source-language zh_CN -target-language en \
  app open online analysis render base -ts "$ts"
