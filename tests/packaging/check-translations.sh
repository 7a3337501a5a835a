#!/usr/bin/env bash
# The catalogues match the sources: every text users read is translated in each language, every
# translated text still exists in the sources, each catalogue compiles with its formats checked,
# and every source file with marked texts is listed for extraction.
set -euo pipefail

root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
status=0

cd "$root"
for file in $(grep -rlE '\btr\(|\btrKey\(|[^A-Za-z0-9_]_\(' src | grep -v '^src/text/' | sort); do
  if ! grep -qx "$file" po/POTFILES; then
    echo "$file marks texts for translation but is missing from po/POTFILES"
    status=1
  fi
done

scripts/update-translations.sh --template-only "$work"
for language in $(grep -v '^#' po/LINGUAS); do
  msgfmt --check --output-file=/dev/null "po/$language.po"
  # msgcmp fails on a source text the catalogue lacks and only warns on one the sources lack.
  if ! msgcmp "po/$language.po" "$work/plenhall-desktop.pot" 2>"$work/compare.log" ||
    grep -q "not used" "$work/compare.log"; then
    cat "$work/compare.log"
    echo "po/$language.po does not match the sources: run scripts/update-translations.sh"
    status=1
  fi
  untranslated="$(msgattrib --untranslated --no-obsolete "po/$language.po" | grep -c '^msgid' || true)"
  fuzzy="$(msgattrib --only-fuzzy --no-obsolete "po/$language.po" | grep -c '^msgid' || true)"
  if [ "$untranslated" -gt 1 ] || [ "$fuzzy" -gt 0 ]; then
    echo "po/$language.po has untranslated or fuzzy texts"
    status=1
  fi
done
exit $status
