#!/usr/bin/env bash
# Extracts the texts users read into po/plenhall-desktop.pot and merges them into every
# catalogue of po/LINGUAS; translators then fill in the new and fuzzy entries.
# With --template-only DIR, writes only the template, to DIR (the translation check uses that).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="$root/po"
merge=1
if [ "${1:-}" = "--template-only" ]; then
  out="$2"
  merge=0
fi

cd "$root"
grep -v '^#' po/POTFILES | grep . >"$out/.files"
xgettext --from-code=UTF-8 --language=C++ --keyword=tr:1 --keyword=trKey:1 --keyword=_:1 \
  --add-comments=Translators: --package-name=plenhall-desktop --msgid-bugs-address=support@plenhall.com \
  --sort-by-file --files-from="$out/.files" --output="$out/plenhall-desktop.pot"
rm -f "$out/.files"

if [ "$merge" = 1 ]; then
  grep -v '^#' po/LINGUAS | grep . | while read -r language; do
    msgmerge --quiet --update --backup=none --no-fuzzy-matching "po/$language.po" po/plenhall-desktop.pot
  done
fi
