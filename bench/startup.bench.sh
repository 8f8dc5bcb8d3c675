#!/usr/bin/env bash
# Start-up and shut-down of the preview, started by corvane-driver over a socket pair on a private
# Xvfb, against a bare Qt main window with the same widgets started the same way in the same run
# (startup-bare-window), runs alternating. Figures (medians of STARTUP_RUNS runs, default 5):
#   startup_opened_*      from the start of the process to WM_PREVIEW_OPENED at the driver
#   startup_first_paint_* from the start to page 1 on the screen (startup-paint-watch)
#   close_to_ended_ms     from the driver's WM_PREVIEW_CLOSE to WM_PREVIEW_ENDED at the driver
set -euo pipefail
cd "$(dirname "$0")/.."
build="${BUILD_DIR:-build}"
driver="$build/corvane-driver"
preview="$build/corvane-preview"
bare="$build/bench/startup-bare-window"
watch="$build/bench/startup-paint-watch"
runs="${STARTUP_RUNS:-5}"

for program in "$driver" "$preview" "$bare" "$watch"; do
  if [ ! -x "$program" ]; then
    echo "# startup: $program is not built; skipped" >&2
    exit 0
  fi
done
if ! command -v Xvfb >/dev/null; then
  echo "# startup: Xvfb is not installed; skipped" >&2
  exit 0
fi

tmp="$(mktemp -d)"
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 200); do [ -s "$tmp/display" ] && break; sleep 0.02; done
export DISPLAY=":$(head -1 "$tmp/display")"
unset QT_QPA_PLATFORM

# One run of program; prints "opened first_paint close_to_ended" in milliseconds.
one_run() {
  local out="$tmp/driver.out" paint="$tmp/paint.out" pid="" dpid
  : >"$out"
  "$driver" --preview "$1" --no-reports --close-after 700 --timestamps >"$out" 2>/dev/null &
  dpid=$!
  for _ in $(seq 2000); do
    pid="$(sed -n 's/^@[0-9.]* started .* pid=\([0-9]*\) .*/\1/p' "$out")"
    [ -n "$pid" ] && break
    sleep 0.002
  done
  "$watch" "$pid" 10000 >"$paint" || true
  wait "$dpid" || true
  awk -v paint="$(sed -n 's/^@\([0-9.]*\) painted/\1/p' "$paint")" '
    / started / { start = substr($1, 2) }
    / opened after / { opened = $4 }
    /-> post WM_PREVIEW_CLOSE/ { tclose = substr($1, 2) }
    /<- send WM_PREVIEW_ENDED/ { tended = substr($1, 2) }
    END { printf "%.1f %.1f %.1f\n", opened, (paint == "" ? -1 : paint - start), tended - tclose }' "$out"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

one_run "$preview" >/dev/null # warm the caches (fonts, libraries, the page files)
one_run "$bare" >/dev/null
: >"$tmp/preview" ; : >"$tmp/bare"
for _ in $(seq "$runs"); do
  one_run "$preview" >>"$tmp/preview"
  one_run "$bare" >>"$tmp/bare"
done

p_open="$(cut -d' ' -f1 "$tmp/preview" | median)"
b_open="$(cut -d' ' -f1 "$tmp/bare" | median)"
p_paint="$(cut -d' ' -f2 "$tmp/preview" | median)"
b_paint="$(cut -d' ' -f2 "$tmp/bare" | median)"
p_end="$(cut -d' ' -f3 "$tmp/preview" | median)"
awk -v po="$p_open" -v bo="$b_open" -v pp="$p_paint" -v bp="$b_paint" -v pe="$p_end" 'BEGIN {
  printf "startup_opened_ms %.1f ms\n", po
  printf "startup_opened_bare_ms %.1f ms\n", bo
  printf "startup_opened_ratio %.2f x\n", (bo > 0 ? po / bo : 0)
  printf "startup_first_paint_ms %.1f ms\n", pp
  printf "startup_first_paint_bare_ms %.1f ms\n", bp
  printf "startup_first_paint_ratio %.2f x\n", (bp > 0 ? pp / bp : 0)
  printf "close_to_ended_ms %.1f ms\n", pe
}'
