#!/usr/bin/env bash
# Runs a program beside a CUPS server of its own that has a raw queue,
# VornexTest, printing through CUPS's socket backend to a port on 127.0.0.1
# where nothing listens yet: the program listens there itself. A second
# queue, VornexRejecting, prints to the same port but refuses jobs. The
# program gets CUPS_SERVER, VORNEX_TEST_QUEUE, VORNEX_TEST_QUEUE_PORT and
# VORNEX_TEST_REJECTING_QUEUE; the server goes when it ends. For the Windows
# tests, which cannot start one.
#   with-cups.sh PROGRAM [ARGS...]
set -euo pipefail

if [ ! -x /usr/lib/cups/backend/socket ] || ! command -v cupsd >/dev/null; then
  echo "with-cups.sh: cupsd and CUPS's socket backend are needed (scripts/deps.sh test installs them)" >&2
  exit 1
fi
dir=$(mktemp -d)
pid=
stop() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap stop EXIT
# cupsd refuses a configuration others may change; its backends run as lp.
chmod 755 "$dir"
mkdir -p "$dir/spool" "$dir/cache" "$dir/state" "$dir/tmp"
cat >"$dir/cupsd.conf" <<EOF
Listen $dir/cups.sock
Browsing No
WebInterface No
DefaultAuthType None
LogLevel info
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
cat >"$dir/cups-files.conf" <<EOF
ServerRoot $dir
ServerBin /usr/lib/cups
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
ErrorLog $dir/error_log
AccessLog $dir/access_log
PageLog $dir/page_log
Printcap $dir/printcap
SystemGroup root
EOF
cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" &
pid=$!
for _ in $(seq 100); do [ -S "$dir/cups.sock" ] && break; sleep 0.1; done
if [ ! -S "$dir/cups.sock" ]; then
  echo "with-cups.sh: cupsd did not start:" >&2
  cat "$dir/error_log" >&2 2>/dev/null || true
  exit 1
fi
# A port nothing answers on.
port=
for candidate in $(shuf -i 20000-60000 -n 50); do
  if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then port=$candidate; break; fi
done
[ -n "$port" ] || { echo "with-cups.sh: no free port on 127.0.0.1" >&2; exit 1; }
lpadmin -h "$dir/cups.sock" -p VornexTest -v "socket://127.0.0.1:$port" -D "Vornex test queue" -E
lpadmin -h "$dir/cups.sock" -p VornexRejecting -v "socket://127.0.0.1:$port" -E
cupsreject -h "$dir/cups.sock" -r "Out of labels" VornexRejecting

status=0
CUPS_SERVER=$dir/cups.sock VORNEX_TEST_QUEUE=VornexTest VORNEX_TEST_QUEUE_PORT=$port \
  VORNEX_TEST_REJECTING_QUEUE=VornexRejecting "$@" || status=$?
exit $status
