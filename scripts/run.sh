#!/usr/bin/env bash
# Installs what is needed, builds, and starts Plenhall Desktop on the current desktop.
# Extra arguments go to CMake, e.g. -DPLENHALL_START_URL=https://calendar.example.com/app
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-dependencies.sh
./scripts/build.sh "$@"
./scripts/register-url-scheme.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No desktop session (DISPLAY is not set); built build/plenhall-desktop but did not start it." >&2
  exit 1
fi
exec ./build/plenhall-desktop
