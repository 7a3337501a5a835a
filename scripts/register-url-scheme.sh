#!/usr/bin/env bash
# Registers the program built in build/ for the current user: its desktop entry (so plenhall:
# links, xdg-open plenhall://… and desktop shortcuts reach it) and its icon.
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(pwd)/build/plenhall-desktop"
data="${XDG_DATA_HOME:-$HOME/.local/share}"
mkdir -p "$data/applications" "$data/icons/hicolor/scalable/apps"
sed -e "s#@PLENHALL_EXEC@#$program#g" packaging/com.plenhall.Desktop.desktop.in \
  > "$data/applications/com.plenhall.Desktop.desktop"
cp packaging/icons/scalable/com.plenhall.Desktop.svg "$data/icons/hicolor/scalable/apps/"
update-desktop-database "$data/applications" 2>/dev/null || true
xdg-mime default com.plenhall.Desktop.desktop x-scheme-handler/plenhall
echo "plenhall: links now open $program"
