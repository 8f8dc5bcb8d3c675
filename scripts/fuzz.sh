#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and UndefinedBehaviorSanitizer into
# build-fuzz/, then runs every fuzz_* target for FUZZ_SECONDS seconds (default 60). Fails on any
# finding (crash, sanitizer report, leak, timeout, out-of-memory).
#
# Seeds: fuzz/seeds/<target>/ when present, plus the folders listed in fuzz/seeds/<target>.dirs (one
# path a line, relative to the repository root; blank lines and lines starting with # are skipped;
# missing folders are passed over). Seeds are read only: each run works on its own corpus copy in
# build-fuzz/corpus/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${FUZZ_SECONDS:-60}
build=$root/build-fuzz

cmake -S . -B "$build" -DCORVANE_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "fuzz: no fuzz_* targets were built" >&2
  exit 1
fi

failed=0
for exe in "${targets[@]}"; do
  [ -f "$exe" ] && [ -x "$exe" ] || continue
  name=$(basename "$exe")
  corpus=$build/corpus/$name
  artifacts=$build/artifacts/$name
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds+=("fuzz/seeds/$name")
  if [ -f "fuzz/seeds/$name.dirs" ]; then
    while IFS= read -r line || [ -n "$line" ]; do
      line=${line%%#*}
      line=$(echo "$line" | xargs)
      [ -z "$line" ] && continue
      case $line in /*) dir=$line ;; *) dir=$root/$line ;; esac
      if [ -d "$dir" ]; then seeds+=("$dir"); else echo "fuzz: $name: no seed folder $line, skipped" >&2; fi
    done < "fuzz/seeds/$name.dirs"
  fi
  echo "fuzz: $name for ${seconds}s (seeds: ${seeds[*]:-none})"
  if ! "$exe" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "${seeds[@]}" > "$build/$name.log" 2>&1; then
    echo "fuzz: $name found a problem; last lines of $build/$name.log:" >&2
    tail -n 40 "$build/$name.log" >&2
    failed=1
  else
    grep -E "^(stat::number_of_executed_units|Done)" "$build/$name.log" || true
  fi
done
exit $failed
