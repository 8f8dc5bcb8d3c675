#!/usr/bin/env bash
# The Debian package, checked the way a user meets it: build the .deb from build/ with CPack, lint it
# (lintian errors fail), install it with apt-get, find every file where it belongs, run the installed
# programs, then purge it (a preview queue's waiting jobs move to its printer) and make sure nothing of it
# is left.
#
#   bash scripts/package-check.sh [BUILD_DIR]      (default: build)
#
# It installs and removes the package "corvane" on this machine, so it needs root and refuses while
# corvane is installed already; without root it says it skipped and exits 0. CORVANE_PACKAGE_CHECK=0
# skips it too. Runs of several checkouts on one machine wait for each other.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
package=corvane

say() { printf 'package-check: %s\n' "$*"; }
skip() {
  printf '\n*** package-check SKIPPED: %s ***\n\n' "$*" >&2
  exit 0
}
failures=0
fail() {
  printf 'package-check: FAIL: %s\n' "$*" >&2
  failures=$((failures + 1))
}
stage_done() {
  if [ "$failures" -ne 0 ]; then
    say "$1: $failures failure(s)"
    exit 1
  fi
  say "$1: ok"
}

[ "${CORVANE_PACKAGE_CHECK:-1}" != "0" ] || skip "CORVANE_PACKAGE_CHECK=0"
[ "$(id -u)" -eq 0 ] || skip "not root; the check installs and purges the package (run it as root, as CI does)"
for tool in cpack lintian dpkg-shlibdeps file apt-get desktop-file-validate; do
  command -v "$tool" >/dev/null || { echo "package-check: $tool is missing; run scripts/setup.sh" >&2; exit 1; }
done

exec 9>/var/lock/corvane-package-check.lock
flock -w 3600 9 || { echo "package-check: another check holds the lock" >&2; exit 1; }

installed_state() { dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true; }
state=$(installed_state)
if [ -n "$state" ] && [ "$state" != "not-installed" ]; then
  echo "package-check: $package is on this machine already ($state); the check would replace and then" \
       "purge it. Remove it first: apt-get remove --purge $package" >&2
  exit 1
fi

# --- Build and lint ------------------------------------------------------------------------------
cmake -S . -B "$build" -DCORVANE_MAN=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
rm -f "$build"/package/${package}_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/package/${package}_*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { echo "package-check: cpack made no single .deb" >&2; exit 1; }
deb=$(realpath "${debs[0]}")
say "built $deb"

lintian --fail-on error "$deb" || fail "lintian reports errors (above)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libc6 cups-daemon cups-filters fonts-ipafont-gothic; do
  [[ "$depends" == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done
stage_done "package and lint"

# --- Install ---------------------------------------------------------------------------------------
# From here on the package is on the machine; whatever happens, it goes again.
purge() { DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -o DPkg::Lock::Timeout=600 "$package"; }
trap 'status=$?; if [ "$(installed_state)" != "not-installed" ] && [ -n "$(installed_state)" ]; then purge >/dev/null 2>&1 || true; fi; exit $status' EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -o DPkg::Lock::Timeout=600 "$deb"
[ "$(installed_state)" = "installed" ] || { echo "package-check: $package did not install" >&2; exit 1; }

# Each line of programs.txt: target|bin or filter|flags|installed path.
manifest="$build/packaging/programs.txt"
[ -s "$manifest" ] || { echo "package-check: no $manifest" >&2; exit 1; }
mapfile -t listed < <(dpkg -L "$package")
is_listed() {
  local want=$1 path
  for path in "${listed[@]}"; do [ "$path" = "$want" ] && return 0; done
  return 1
}
check_file() { # path, mode
  is_listed "$1" || { fail "$1 is not in dpkg -L $package"; return; }
  [ -f "$1" ] || { fail "$1 is listed but not on disk"; return; }
  local actual
  actual=$(stat -c '%a %U:%G' "$1")
  [ "$actual" = "$2 root:root" ] || fail "$1 is $actual, not $2 root:root"
}

conffiles=$(dpkg-query -W -f='${Conffiles}' "$package")
while IFS='|' read -r target kind flags path; do
  [ -n "$target" ] || continue
  check_file "$path" 755
  if [ "$kind" = filter ]; then
    # CUPS runs only filters in its own folder that neither the group nor others can write.
    if command -v cups-config >/dev/null; then
      [ "$path" = "$(cups-config --serverbin)/filter/$target" ] || fail "$path is not in CUPS's filter folder"
    fi
  else
    [ "$path" = "/usr/bin/$target" ] || fail "$target is at $path, not /usr/bin/$target"
    check_file "/usr/share/man/man1/$target.1.gz" 644
    gzip -t "/usr/share/man/man1/$target.1.gz" 2>/dev/null || fail "$target.1.gz is not a good gzip file"
  fi
  if [[ ",$flags," == *,autostart,* ]]; then
    entry=/etc/xdg/autostart/$target.desktop
    check_file "$entry" 644
    desktop-file-validate "$entry" || fail "$entry does not validate"
    grep -qx "Exec=$target" "$entry" || fail "$entry does not start $target"
    [[ "$conffiles" == *"$entry "* ]] || fail "$entry is not a conffile"
  fi
done <"$manifest"
for doc in copyright changelog.gz README.md docs/driver-protocol.md docs/job-file.md; do
  check_file "/usr/share/doc/$package/$doc" 644
done
stage_done "installed files"

# --- The installed programs run ---------------------------------------------------------------------
while IFS='|' read -r target kind flags path; do
  [ -n "$target" ] && [ "$kind" = bin ] && [[ ",$flags," != *,nohelp,* ]] || continue
  # As root outside a session, as an administrator meets it: no runtime folder.
  if ! out=$(cd / && env -u XDG_RUNTIME_DIR timeout 30 "$target" --help </dev/null 2>&1); then
    fail "$target --help failed: $out"
  elif [[ "$out" != *"$target"* ]]; then
    fail "$target --help does not name the program: $out"
  elif [[ "$out" == *XDG_RUNTIME_DIR* ]]; then
    fail "$target --help prints a warning of the toolkit: $out"
  fi
done <"$manifest"
# The installed driver starts the installed preview next to it on the offscreen platform and asks it to
# close after a second: status 2 is "closed without a result", so the preview ran and spoke the protocol.
if grep -q '^corvane-driver|' "$manifest" && grep -q '^corvane-preview|' "$manifest"; then
  set +e
  out=$(cd / && QT_QPA_PLATFORM=offscreen timeout 120 corvane-driver --pages 2 --close-after 1000 2>&1)
  status=$?
  set -e
  [ "$status" -eq 2 ] || fail "corvane-driver with the installed preview ended with $status, not 2: $out"
fi
stage_done "installed programs"

# --- CUPS, through the installed files ---------------------------------------------------------------
# The whole print road with the installed filter (CUPS's own filter folder, which the private scheduler
# links), agent, queue tool and preview: a label printed through the preview reaches the printer exactly
# as without it. Then corvane-queue adds, lists and removes a preview queue in a private scheduler.
if grep -qE '^corvane-cups\|' "$manifest"; then
  out=$(bash scripts/try-print.sh --installed 2>&1) || fail "printing through the installed preview failed: $out"
  [[ "$out" == *"the same bytes as without the preview: yes"* ]] || fail "try-print --installed: $out"
fi
if grep -qE '^corvane-queue\|' "$manifest"; then
  cups=$(mktemp -d /tmp/corvane-package-cups-XXXXXX)
  ppds=$cups/ppd
  (
    set -e
    bash scripts/private-cupsd.sh start "$cups/cupsd" >/dev/null
    export CUPS_SERVER=$cups/cupsd/cups.sock
    mkdir -p "$ppds" && ppdc -d "$ppds" /usr/share/cups/drv/sample.drv 2>/dev/null
    lpadmin -p label -E -v "file://$cups/cupsd/out/label.prn" -P "$ppds/dymo.ppd" 2>/dev/null
    cd /
    corvane-queue add label
    corvane-queue list | grep -qx "label-preview$(printf '\t')label"
    lpstat -v label-preview | grep -q "file://$cups/cupsd/out/label.prn"
    corvane-queue remove label-preview
    ! lpstat -v label-preview >/dev/null 2>&1
    lpstat -v label >/dev/null
  ) || fail "corvane-queue add, list and remove against a private scheduler"
  bash scripts/private-cupsd.sh stop "$cups/cupsd" || true
  rm -rf "$cups"
fi
stage_done "printing through the installed preview"

# --- Purge: the preview queues go, nothing of the package is left ---------------------------------
# A preview queue with two waiting jobs in a private scheduler: the removal moves them to the printer
# the queue stands in front of (which prints them), removes the queue and says so.
removal=""
if grep -qE '^corvane-queue\|' "$manifest"; then
  removal=$(mktemp -d /tmp/corvane-package-removal-XXXXXX)
  chmod 0755 "$removal" # the scheduler runs the printer's filters as lp
  (
    set -e
    bash scripts/private-cupsd.sh start "$removal/cupsd" >/dev/null
    export CUPS_SERVER=$removal/cupsd/cups.sock
    mkdir -p "$removal/ppd" && ppdc -d "$removal/ppd" /usr/share/cups/drv/sample.drv 2>/dev/null
    lpadmin -p label -E -v "file://$removal/cupsd/out/label.prn" -P "$removal/ppd/dymo.ppd" 2>/dev/null
    cd /
    corvane-queue add label >/dev/null
    cupsdisable label-preview
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -dDEVICEWIDTHPOINTS=81 -dDEVICEHEIGHTPOINTS=252 \
      -o "$removal/label.pdf" -c '/Helvetica findfont 20 scalefont setfont 8 120 moveto (Label) show showpage'
    lp -d label-preview "$removal/label.pdf" >/dev/null
    lp -d label-preview "$removal/label.pdf" >/dev/null
    [ "$(lpstat -o label-preview | wc -l)" -eq 2 ]
  ) || fail "a preview queue with waiting jobs in a private scheduler"
fi
if [ -n "$removal" ]; then
  out=$(CUPS_SERVER=$removal/cupsd/cups.sock purge 2>&1) || fail "the purge failed: $out"
else
  out=$(purge 2>&1) || fail "the purge failed: $out"
fi
if [ -n "$removal" ]; then
  export CUPS_SERVER=$removal/cupsd/cups.sock
  [[ "$out" == *"removed preview queue label-preview; its 2 waiting job(s) moved to label"* ]] \
    || fail "the removal does not say it moved the preview queue's jobs: $out"
  ! lpstat -v label-preview >/dev/null 2>&1 || fail "the removal left the preview queue label-preview"
  for _ in $(seq 1 120); do
    [ "$(lpstat -W completed -o label 2>/dev/null | wc -l)" -eq 2 ] && break
    sleep 1
  done
  [ "$(lpstat -W completed -o label 2>/dev/null | wc -l)" -eq 2 ] \
    || fail "the moved jobs did not print on label: $(lpstat -l -p label; lpstat -W all -l -o 2>&1)"
  [ -s "$removal/cupsd/out/label.prn" ] || fail "nothing reached label's device"
  unset CUPS_SERVER
  bash scripts/private-cupsd.sh stop "$removal/cupsd" || true
  rm -rf "$removal"
fi
[ "$(installed_state)" = "not-installed" ] || [ -z "$(installed_state)" ] \
  || fail "$package is still known to dpkg after the purge: $(installed_state)"
for path in "${listed[@]}"; do
  [ "$path" != "/." ] || continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # A folder may stay only when another package owns it too.
    dpkg -S "$path" >/dev/null 2>&1 || fail "folder $path is left"
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "$path is left"
  fi
done
stage_done "purge"
trap - EXIT
say "all stages passed"
