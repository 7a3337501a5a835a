#!/usr/bin/env bash
# Runs the benchmarks and writes bench/results/report.md and bench/results/samples.csv.
#   bench/run.sh           the full run (about 45 minutes; pixels 30 of them, wayland 4)
#   bench/run.sh --quick   fewer samples, for trying things out
#   bench/run.sh --sections pixels   only some of the measures (pixels, toggles, launch, memory, wayland)
#   bench/run.sh --sections wayland --quick   the Wayland readings alone (headless sway), about a minute
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-dependencies.sh --tests
SUDO=""; if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
need=()
# The Wayland section's screen probe is built here (wayland-scanner, the client library, the
# protocols' XML); swaybg gives the desktop a colour of its own.
for package in guake tilda chromium libxtst-dev libwayland-bin libwayland-dev wayland-protocols swaybg; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || need+=("$package")
done
# Any npm will do, Debian's or one that came with another Node.js package.
command -v npm >/dev/null || need+=(npm)
if [ "${#need[@]}" -gt 0 ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${need[@]}"
fi
./scripts/build.sh -DPLENHALL_BUILD_BENCH=ON
(cd bench && npm install --no-audit --no-fund --silent)
bundle=bench/node_modules/fullcalendar/index.global.min.js
version=$(node -p "require('./bench/node_modules/fullcalendar/package.json').version")
# The test binary serves its calendar on the port the build was configured with.
port=$(sed -n 's/^PLENHALL_E2E_PORT:STRING=//p' build/CMakeCache.txt)
if [ -n "$port" ]; then export PLENHALL_E2E_PORT="$port"; fi
probe=$(python3 bench/wl_pixel_probe.py build)
python3 bench/bench.py --binary build/tests/plenhall-desktop-e2e \
  --x-latency build/plenhall-bench-x-latency --bare-webkit build/plenhall-bench-bare-webkit \
  --wl-pixel-probe "$probe" \
  --fullcalendar "$bundle" --fullcalendar-version "$version" "$@"
