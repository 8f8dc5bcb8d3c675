#!/usr/bin/env bash
# Try the whole road from an application to the label printer without changing anything on this
# machine: a private CUPS scheduler in a temporary folder, a sample label printer (CUPS's own sample
# Dymo driver) that prints into a file, its preview queue made by corvane-queue, the session agent, and
# the preview on this display. Prints FILE (default: the project's sample label, two pages), waits for
# the job, and shows what reached the printer, next to what the same file gives without the preview.
#
#   scripts/try-print.sh [--installed] [FILE]
#
# With a display (DISPLAY or WAYLAND_DISPLAY), press 印刷 (print) or 中止 (cancel) in the preview. With
# none, the preview runs on a private Xvfb and the script presses Ctrl+P after a few seconds, as the
# reference driver's demo closes its preview by itself; it then fails unless the printer received
# exactly what it receives without the preview. The programs come from the build folder (CORVANE_BUILD,
# default build/), or with --installed from the installed package (the filter from CUPS's own folder).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

say() { printf 'try-print: %s\n' "$*"; }
die() { printf 'try-print: %s\n' "$*" >&2; exit 1; }

installed=0
if [ "${1:-}" = --installed ]; then
  installed=1
  shift
fi
file=${1:-}

if [ $installed = 1 ]; then
  filter=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)/filter/corvane-cups
  agent=$(command -v corvane-agent || true)
  queue=$(command -v corvane-queue || true)
  [ -x "$filter" ] && [ -n "$agent" ] && [ -n "$queue" ] || die "the corvane package is not installed"
  extra_filters=()
else
  build=${CORVANE_BUILD:-$root/build}
  for program in corvane-cups corvane-agent corvane-queue corvane-preview; do
    [ -x "$build/$program" ] || die "$build/$program is missing: run bash scripts/setup.sh first"
  done
  agent=$build/corvane-agent
  queue=$build/corvane-queue
  extra_filters=("$build/corvane-cups")
fi
for tool in cupsd lpadmin lp lpstat ppdc gs; do
  command -v "$tool" >/dev/null || die "$tool is missing: run bash scripts/setup.sh first"
done

# Started by root, cupsd runs its filters as lp, which must reach the folder.
work=$(mktemp -d /tmp/corvane-try-XXXXXX)
chmod 0755 "$work"
agent_pid=
xvfb_pid=
cleanup() {
  [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null && wait "$agent_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  bash "$root/scripts/private-cupsd.sh" stop "$work/cups" || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "$file" ]; then
  file=$work/label.pdf
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -dAutoRotatePages=/None -o "$file" \
    "$root/samples/label/label.ps"
fi
[ -r "$file" ] || die "cannot read $file"

say "a private CUPS scheduler in $work/cups"
bash "$root/scripts/private-cupsd.sh" start "$work/cups" "${extra_filters[@]}" >/dev/null
export CUPS_SERVER=$work/cups/cups.sock

mkdir -p "$work/ppd"
ppdc -d "$work/ppd" /usr/share/cups/drv/sample.drv 2>/dev/null
lpadmin -p label -E -v "file://$work/cups/out/label.prn" -P "$work/ppd/dymo.ppd" 2>/dev/null
lpadmin -p direct -E -v "file://$work/cups/out/direct.prn" -P "$work/ppd/dymo.ppd" 2>/dev/null
"$queue" add label
say "queues: $(lpstat -e | tr '\n' ' ')"

# Without a display of our own the preview goes to a private Xvfb.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  command -v Xvfb >/dev/null || die "no display and no Xvfb (package xvfb)"
  exec 3< <(Xvfb -displayfd 1 -screen 0 1366x768x24 -nolisten tcp 2>/dev/null & echo "pid $!")
  read -r _ xvfb_pid <&3
  read -r number <&3
  export DISPLAY=:$number
  auto_print=1
  say "no display: the preview runs on Xvfb $DISPLAY and Ctrl+P is pressed after 4 seconds"
fi

# A session has its runtime folder, where the agent keeps each job's pages; a bare shell may have none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR=$work/runtime
  mkdir -m 0700 "$XDG_RUNTIME_DIR"
fi
# The filter runs as lp when cupsd was started by root, else as this user.
filter_user=lp
[ "$(id -u)" -eq 0 ] || filter_user=$(id -un)
CORVANE_FILTER_USER=$filter_user "$agent" >"$work/agent.log" 2>&1 &
agent_pid=$!
sleep 0.5
kill -0 "$agent_pid" 2>/dev/null || { cat "$work/agent.log" >&2; die "the agent did not start"; }

say "printing $file to label-preview"
lp -d direct "$file" >/dev/null
job=$(lp -d label-preview "$file" | sed -n 's/^request id is \([^ ]*\).*/\1/p')
if [ "${auto_print:-0}" = 1 ]; then
  sleep 4
  window=$(timeout 20 xdotool search --sync --classname '^corvane-preview$' 2>/dev/null | head -n 1 || true)
  if [ -n "$window" ]; then
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    xdotool key ctrl+p
  else
    say "no preview window came up"
  fi
else
  say "the preview is open: press 印刷 to print or 中止 to cancel"
fi

for _ in $(seq 1 600); do lpstat -o 2>/dev/null | grep -q . || break; sleep 0.5; done
if lpstat -W completed -o label-preview 2>/dev/null | grep -q "^$job "; then
  say "job $job completed"
else
  say "job $job did not complete: $(lpstat -o label-preview 2>/dev/null)"
fi
status=$(lpstat -W completed -l -o label-preview 2>/dev/null | sed -n 's/^[[:space:]]*Status: *//p' | head -n 1)
[ -n "$status" ] && say "its status: $status"
say "the agent's log:"
sed 's/^/  /' "$work/agent.log"
out=$work/cups/out
result=0
if [ -s "$out/label.prn" ]; then
  size=$(stat -c %s "$out/label.prn")
  if cmp -s "$out/label.prn" "$out/direct.prn"; then same=yes; else same=no result=1; fi
  say "the printer received $size bytes; the same bytes as without the preview: $same"
  head -c 128 "$out/label.prn" | od -A d -t x1
else
  say "the printer received nothing (cancelled in the preview, or the preview was closed)"
  result=1
fi
# Only the unattended run knows what should have happened: the label printed.
[ "${auto_print:-0}" = 1 ] && exit $result
exit 0
