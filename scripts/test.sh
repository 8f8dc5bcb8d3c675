#!/usr/bin/env bash
# Everything a developer runs before a commit: build, the whole test suite (unit, widget and end-to-end
# tests), the print road of scripts/try-print.sh on a private display, the Debian package check, and the
# fuzz targets for a bounded time under the sanitizers.
# FUZZ_SECONDS sets each fuzz target's run time (default 60; 0 skips fuzzing).
set -euo pipefail
cd "$(dirname "$0")/.."
# The format check: every C++ source and header of the tree as clang-format writes it.
find src programs tools tests bench fuzz \( -name '*.cpp' -o -name '*.h' \) -not -path 'tests/data/*' -print0 |
  xargs -0 clang-format --dry-run -Werror

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
# The suite runs in a network namespace of its own where the machine allows one: the agents' rendezvous
# names, the test displays and the test printer's DNS-SD announcements stay inside it.
tests='ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 300'
if unshare -n true 2>/dev/null; then
  unshare -n bash -c "ip link set lo up && $tests"
else
  bash -c "$tests"
fi

# The whole print road from the build tree, as a newcomer tries it, on a private display.
env -u DISPLAY -u WAYLAND_DISPLAY bash scripts/try-print.sh

# The Debian package: built, linted, installed, run and purged (as root only; says so when skipped).
bash scripts/package-check.sh build

if [ "${FUZZ_SECONDS:-60}" != "0" ] && [ -f scripts/fuzz.sh ]; then
  bash scripts/fuzz.sh
fi
