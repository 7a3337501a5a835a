#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the unit tests (also built with the
# address, leak and undefined-behaviour sanitizers), the fuzz corpora, the packaging checks, and the
# end-to-end tests of the real program on a private headless desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-dependencies.sh --tests
./scripts/build.sh "$@"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPLENHALL_BUILD_GTK=OFF \
  -DPLENHALL_SANITIZE=address,undefined >/dev/null
cmake --build build-sanitize -j "$(nproc)"
ctest --test-dir build-sanitize -L unit --output-on-failure -j 2
ctest --test-dir build --output-on-failure -j 2 --timeout 900
