#!/usr/bin/env bash
# Runs every benchmark of the project and prints its figures, one line each: "name value unit".
# Build first (scripts/setup.sh or scripts/test.sh); BUILD_DIR selects another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
cmake --build "$build" -j"$(nproc)" >/dev/null
status=0
for bench in "$build"/bench/bench_*; do
  [ -f "$bench" ] && [ -x "$bench" ] || continue
  echo "# $(basename "$bench")"
  QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$bench" || status=1
done
for script in bench/*.bench.sh; do
  [ -f "$script" ] || continue
  echo "# $(basename "$script")"
  bash "$script" || status=1
done
exit $status
