#!/usr/bin/env bash
# Try the whole road from an application to the label printer without changing anything on this
# machine: a private CUPS scheduler in a temporary folder, a sample label printer (CUPS's own sample
# Dymo driver) that prints into a file, its preview queue made by corvane-queue, the session agent, and
# the preview on this display. Prints FILE (default: the project's sample label, two pages), waits for
# the job, and shows what reached the printer, next to what the same file gives without the preview.
#
#   tools/try-print.sh [FILE]
#
# With a display (DISPLAY or WAYLAND_DISPLAY), press 印刷 (print) or 中止 (cancel) in the preview. With
# none, the preview runs on a private Xvfb and the script presses Ctrl+P after a few seconds, as the
# reference driver's demo closes its preview by itself. CORVANE_BUILD names the build folder (build).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${CORVANE_BUILD:-$root/build}
file=${1:-}

say() { printf 'try-print: %s\n' "$*"; }
die() { printf 'try-print: %s\n' "$*" >&2; exit 1; }

for program in corvane-cups corvane-agent corvane-queue corvane-preview; do
  [ -x "$build/$program" ] || die "$build/$program is missing: run bash tools/setup.sh first"
done
for tool in cupsd lpadmin lp lpstat ppdc gs; do
  command -v "$tool" >/dev/null || die "$tool is missing: run bash tools/setup.sh first"
done

# Started by root, cupsd runs its filters as lp, which must reach the folder.
work=$(mktemp -d /tmp/corvane-try-XXXXXX)
chmod 0755 "$work"
agent_pid=
xvfb_pid=
cleanup() {
  [ -n "$agent_pid" ] && kill "$agent_pid" 2>/dev/null && wait "$agent_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  bash "$root/tools/private-cupsd.sh" stop "$work/cups" || true
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
bash "$root/tools/private-cupsd.sh" start "$work/cups" "$build/corvane-cups" >/dev/null
export CUPS_SERVER=$work/cups/cups.sock

mkdir -p "$work/ppd"
ppdc -d "$work/ppd" /usr/share/cups/drv/sample.drv 2>/dev/null
lpadmin -p label -E -v "file://$work/cups/out/label.prn" -P "$work/ppd/dymo.ppd" 2>/dev/null
lpadmin -p direct -E -v "file://$work/cups/out/direct.prn" -P "$work/ppd/dymo.ppd" 2>/dev/null
"$build/corvane-queue" add label
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

# The filter runs as lp when cupsd was started by root, else as this user.
filter_user=lp
[ "$(id -u)" -eq 0 ] || filter_user=$(id -un)
CORVANE_FILTER_USER=$filter_user "$build/corvane-agent" >"$work/agent.log" 2>&1 &
agent_pid=$!
sleep 0.5
kill -0 "$agent_pid" 2>/dev/null || { cat "$work/agent.log" >&2; die "the agent did not start"; }

say "printing $file to label-preview"
lp -d direct "$file" >/dev/null
job=$(lp -d label-preview "$file" | sed -n 's/^request id is \([^ ]*\).*/\1/p')
if [ "${auto_print:-0}" = 1 ]; then
  sleep 4
  window=$(xdotool search --sync --onlyvisible --classname corvane-preview 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && xdotool windowactivate --sync "$window" key --window "$window" ctrl+p 2>/dev/null || true
else
  say "the preview is open: press 印刷 to print or 中止 to cancel"
fi

while lpstat -o 2>/dev/null | grep -q .; do sleep 0.5; done
say "job $job: $(lpstat -W completed -l -o label-preview 2>/dev/null | sed -n 's/^[[:space:]]*\(Status\|Alerts\):/\1:/p' | tr '\n' ' ')"
out=$work/cups/out
if [ -s "$out/label.prn" ]; then
  size=$(stat -c %s "$out/label.prn")
  if cmp -s "$out/label.prn" "$out/direct.prn"; then same=yes; else same=no; fi
  say "the printer received $size bytes; the same bytes as without the preview: $same"
  od -A d -t x1 "$out/label.prn" | head -n 4
else
  say "the printer received nothing (cancelled in the preview, or the preview was closed)"
fi
say "the agent's log:"
sed 's/^/  /' "$work/agent.log"
