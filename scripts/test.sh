#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: unit tests, then the end-to-end tests of the
# real program on a private headless desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-dependencies.sh --tests
./scripts/build.sh "$@"
ctest --test-dir build --output-on-failure -j 2 --timeout 900
