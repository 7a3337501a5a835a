#!/usr/bin/env bash
# Installs what building, running and testing Plenhall Desktop need on Debian 12.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

packages=(
  # build
  build-essential cmake pkg-config
  libgtk-3-dev libwebkit2gtk-4.1-dev libayatana-appindicator3-dev libdbusmenu-glib-dev libsoup-3.0-dev libx11-dev
  nlohmann-json3-dev libicu-dev
  # the translations: msgfmt at build time, xgettext and msgcmp for their check
  gettext
  # the web engine's sandbox
  bubblewrap xdg-dbus-proxy
  # desktop integration
  desktop-file-utils appstream xdg-utils
  # the offline page shows a calendar emoji
  fonts-noto-color-emoji
)
if [ "${1:-}" = "--tests" ]; then
  packages+=(
    libgtest-dev libgmock-dev
    # a private desktop for the end-to-end tests
    xserver-xorg-core xserver-xorg-video-dummy xvfb xauth openbox dbus x11-utils x11-xserver-utils xdotool
    imagemagick python3
    # a private Wayland desktop for the Wayland scenarios (sway, headless, with XWayland), typing
    # into it, its screenshots, and another application's window there
    sway wtype grim xwayland python3-gi gir1.2-gtk-3.0
    # GNOME's compositor, headless, for the same scenarios where placement differs most; GNOME Shell
    # with the settings daemon, whose media-keys plugin runs custom shortcuts, dconf and gsettings
    mutter gnome-shell gnome-settings-daemon dconf-service gsettings-desktop-schemas libglib2.0-bin
    # KWin (virtual backend, shortcut daemon built in) and Plasma's portal, on Qt's Wayland plugin
    kwin-wayland xdg-desktop-portal-kde qtwayland5
    # desktops for the global-shortcuts portal tests (a test backend in Python behind Debian's portal)
    # and a recording notification server for the reminder scenarios
    python3-dbus xdg-desktop-portal
    # the dictionary the spelling scenario checks against
    hunspell-en-us
    # what a screen reader sees: the accessibility bus and its Python bindings (GTK 3 joins the bus
    # through the ATK bridge it links)
    at-spi2-core gir1.2-atspi-2.0
    # the format check
    clang-format
  )
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
