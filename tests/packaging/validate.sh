#!/usr/bin/env bash
# Installs the build into a staging prefix and checks what a desktop will read from it.
set -euo pipefail
build="$1"
program="$2"
probe="$3"
# Inside the build tree: a copy of the program there is an installed program all the same.
stage="$(mktemp -d "$(realpath "$build")/packaging-stage.XXXXXX")"
trap 'rm -rf "$stage"' EXIT

cmake --install "$build" --prefix "$stage/usr" >/dev/null
share="$stage/usr/share"

# Each program reads its own catalogues: the built one the build's, the installed one those
# installed with it.
catalogues() { env -u DISPLAY -u WAYLAND_DISPLAY LD_PRELOAD="$probe" "$1"; }
[ "$(catalogues "$program")" = "$build/locale" ] ||
  { echo "the built program reads $(catalogues "$program")"; exit 1; }
[ "$(catalogues "$stage/usr/bin/plenhall-desktop")" = "$share/locale" ] ||
  { echo "the installed program reads $(catalogues "$stage/usr/bin/plenhall-desktop")"; exit 1; }
for file in \
    "$stage/usr/bin/plenhall-desktop" \
    "$share/applications/com.plenhall.Desktop.desktop" \
    "$share/metainfo/com.plenhall.Desktop.metainfo.xml" \
    "$share/icons/hicolor/scalable/apps/com.plenhall.Desktop.svg" \
    "$share/icons/hicolor/48x48/apps/com.plenhall.Desktop.png" \
    "$share/icons/hicolor/256x256/apps/com.plenhall.Desktop.png" \
    "$share/locale/de/LC_MESSAGES/plenhall-desktop.mo"; do
  [ -e "$file" ] || { echo "missing: $file"; exit 1; }
done

desktop-file-validate "$share/applications/com.plenhall.Desktop.desktop"
grep -q '^MimeType=x-scheme-handler/plenhall;$' "$share/applications/com.plenhall.Desktop.desktop"
grep -q '^Exec=.*plenhall-desktop %u$' "$share/applications/com.plenhall.Desktop.desktop"
grep -q '^StartupNotify=false$' "$share/applications/com.plenhall.Desktop.desktop"
appstreamcli validate --no-net "$share/metainfo/com.plenhall.Desktop.metainfo.xml"

# The package: built, installable metadata, and the files in it.
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/plenhall-desktop_*.deb | head -n 1)"
dpkg-deb --info "$deb" | grep -E '^ Depends:.*libwebkit2gtk-4.1-0' >/dev/null
dpkg-deb --info "$deb" | grep -E '^ Depends:.*bubblewrap' >/dev/null
dpkg-deb --contents "$deb" | grep './usr/share/applications/com.plenhall.Desktop.desktop' >/dev/null
dpkg-deb --contents "$deb" | grep './usr/share/locale/de/LC_MESSAGES/plenhall-desktop.mo' >/dev/null
echo "packaging ok: $deb"
