#!/usr/bin/env bash
# Runs the real program under valgrind's memcheck through many show/hide cycles and writes
# bench/results/valgrind.md; fails when memcheck finds an error or a definite leak of our own.
#   bench/valgrind.sh [--toggles N]   (default 200; about 10 minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-dependencies.sh --tests
if ! command -v valgrind >/dev/null; then
  SUDO=""; if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends valgrind
fi
./scripts/build.sh
python3 bench/valgrind.py --binary build/tests/plenhall-desktop-e2e "$@"
