#!/usr/bin/env bash
# A private CUPS scheduler in a folder of its own, for tests and for trying the preview without touching
# the machine's printing: its own configuration, spool, logs and a local socket, file: devices allowed,
# and a filter folder that links the system's filters and backends beside extra filters of ours.
#
#   private-cupsd.sh start DIR [FILTER...]   start cupsd on DIR (made if missing); each FILTER is copied
#                                            into DIR's filter folder. Prints CUPS_SERVER=DIR/cups.sock.
#   private-cupsd.sh start-admin DIR [FILTER...]  the same, but adding, changing and removing queues
#                                            needs administrator rights as on an installed system (root)
#   private-cupsd.sh stop DIR                stop it (the folder stays; remove it yourself)
#
# Clients reach it with CUPS_SERVER=DIR/cups.sock (lp, lpstat, lpadmin, cancel, the CUPS API). Started by
# root, cupsd runs filters as the user lp, so DIR and every folder above it must be searchable by lp, and
# CUPS refuses a filter that a group or others can write: the filters are copied, mode 0755, owned by root.
# Started by anyone else, cupsd and its filters run as that user.
set -euo pipefail

usage() { sed -n '6,11p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 64; }

[ $# -ge 2 ] || usage
command=$1
dir=$2
shift 2

case $command in
start|start-admin)
  command -v cupsd >/dev/null || { echo "private-cupsd: cupsd not found (package cups-daemon)" >&2; exit 1; }
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  chmod 0755 "$dir"
  mkdir -p "$dir"/{spool/tmp,log,cache,state,ppd,serverbin/filter,serverbin/backend,out}
  if [ "$(id -u)" -eq 0 ]; then
    run_user=lp run_group=lp system_group=root
    chmod 0710 "$dir/spool"
    chown root:lp "$dir/spool"
  else
    run_user=$(id -un) run_group=$(id -gn) system_group=$(id -gn)
  fi
  chmod 1777 "$dir/spool/tmp" "$dir/out"
  system=$(cups-config --serverbin 2>/dev/null || echo /usr/lib/cups)
  for sub in cgi-bin daemon driver monitor notifier; do
    [ -e "$system/$sub" ] && ln -sfn "$system/$sub" "$dir/serverbin/$sub"
  done
  for f in "$system"/filter/* ; do ln -sf "$f" "$dir/serverbin/filter/"; done
  for f in "$system"/backend/*; do ln -sf "$f" "$dir/serverbin/backend/"; done
  for f in "$@"; do
    install -m 0755 "$f" "$dir/serverbin/filter/$(basename "$f")"
  done
  cat > "$dir/cups-files.conf" <<CONF
ServerRoot $dir
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerBin $dir/serverbin
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
FileDevice Yes
User $run_user
Group $run_group
SystemGroup $system_group
CONF
  cat > "$dir/cupsd.conf" <<CONF
Listen $dir/cups.sock
LogLevel debug
MaxLogSize 0
Browsing No
DefaultAuthType None
WebInterface No
JobRetryInterval 1
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
$(if [ "$command" = start-admin ]; then cat <<ADMIN
  <Limit CUPS-Add-Modify-Printer CUPS-Delete-Printer CUPS-Add-Modify-Class CUPS-Delete-Class CUPS-Set-Default>
    AuthType Default
    Require user @SYSTEM
    Order deny,allow
  </Limit>
ADMIN
fi)
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  : > "$dir/printers.conf"
  cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" >"$dir/log/cupsd.out" 2>&1 &
  echo $! > "$dir/cupsd.launcher.pid"
  for _ in $(seq 1 100); do
    if [ -S "$dir/cups.sock" ] && CUPS_SERVER=$dir/cups.sock lpstat -r 2>/dev/null | grep -q 'is running'; then
      echo "CUPS_SERVER=$dir/cups.sock"
      exit 0
    fi
    sleep 0.1
  done
  echo "private-cupsd: cupsd did not come up; its log:" >&2
  tail -n 30 "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
  exit 1
  ;;
stop)
  if [ -f "$dir/cupsd.launcher.pid" ]; then
    pid=$(cat "$dir/cupsd.launcher.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$dir/cupsd.launcher.pid"
  fi
  ;;
*) usage ;;
esac
