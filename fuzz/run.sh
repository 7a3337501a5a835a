#!/usr/bin/env bash
# Fuzzes every input the program takes from outside, for a fixed time each, with libFuzzer and the
# address and undefined-behaviour sanitizers; new interesting inputs are added to fuzz/corpus/
# (minimised), and a crash leaves its input in build-fuzz/ for a regression test.
#   fuzz/run.sh [SECONDS_PER_TARGET [TARGET...]]   (default 600 seconds, every target; as many
#                                                   targets at once as there are cores)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
SUDO=""; if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
need=()
for package in clang-14 libclang-rt-14-dev libgtest-dev libgmock-dev nlohmann-json3-dev libicu-dev cmake; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || need+=("$package")
done
if [ "${#need[@]}" -gt 0 ]; then
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${need[@]}"
fi
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang-14 \
  -DCMAKE_CXX_COMPILER=clang++-14 -DPLENHALL_BUILD_GTK=OFF -DPLENHALL_FUZZ=ON \
  -DPLENHALL_SANITIZE=address,undefined >/dev/null
cmake --build build-fuzz -j "$(nproc)" >/dev/null

report=build-fuzz/fuzz-report.md

fuzz_one() {
  local target="$1" corpus="fuzz/corpus/$1" work="build-fuzz/work-$1" merged="build-fuzz/merged-$1"
  local log="build-fuzz/fuzz-$1.log" before after runs
  before=$(find "$corpus" -type f | wc -l)
  rm -rf "$work"; mkdir -p "$work"
  ( cd build-fuzz && "./fuzz/fuzz-$target" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 \
      -timeout=10 -print_final_stats=1 "../$work" "../$corpus" ) > "$log" 2>&1 || {
    echo "fuzz-$target found a fault; see $log and the crash-* file in build-fuzz/" >&2
    return 1
  }
  # Keep only inputs that add coverage, so the stored corpus stays small.
  rm -rf "$merged"; mkdir -p "$merged"
  "./build-fuzz/fuzz/fuzz-$target" -merge=1 "$merged" "$corpus" "$work" >> "$log" 2>&1
  rm -rf "$corpus"; mkdir -p "$corpus"; cp "$merged"/* "$corpus"/ 2>/dev/null || true
  after=$(find "$corpus" -type f | wc -l)
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$')
  echo "| $target | $seconds | ${runs:-?} | $before → $after |" > "build-fuzz/row-$target"
}

# One target per core at a time; each works on its own corpus and its own files.
targets=(shortcut_json frame_text preferences url_commands navigation appcast)
if [ "$#" -gt 1 ]; then targets=("${@:2}"); fi
failed=0
running=0
for target in "${targets[@]}"; do
  fuzz_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$(nproc)" ]; then wait -n || failed=1; running=$((running - 1)); fi
done
while [ "$running" -gt 0 ]; do wait -n || failed=1; running=$((running - 1)); done

{
  echo "| target | seconds | executions | corpus files (before → after) |"
  echo "|---|---|---|---|"
  for target in "${targets[@]}"; do cat "build-fuzz/row-$target" 2>/dev/null || echo "| $target | fault | | |"; done
} > "$report"
cat "$report"
exit "$failed"
