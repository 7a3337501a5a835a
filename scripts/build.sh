#!/usr/bin/env bash
# Configures and builds into build/; extra arguments go to CMake (e.g. -DPLENHALL_START_URL=...).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build build -j "$(nproc)"
