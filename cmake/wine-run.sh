#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, for ctest:
#   wine-run.sh PREFIX ARCH PROGRAM [ARGS...]
# The prefix is the build's own, made on first use; Wine's debug output and
# its Gecko/Mono installers are off; without a display the program gets a
# virtual one.
set -euo pipefail
prefix=$1 arch=$2
shift 2

case "$arch" in
  i686|x86) loader=/usr/lib/wine/wine; export WINEARCH=win32 ;;
  x86_64|AMD64) loader=/usr/lib/wine/wine64; export WINEARCH=win64 ;;
  *) echo "wine-run.sh: unknown architecture '$arch'" >&2; exit 2 ;;
esac
if [ ! -x "$loader" ]; then
  echo "wine-run.sh: $loader is missing; scripts/deps.sh test installs Wine" >&2
  exit 2
fi

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

if [ -z "${DISPLAY:-}" ]; then
  # One virtual screen for this program; Wine's own processes go with it.
  status=0
  xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$prefix" "$arch" "$@" || status=$?
  wineserver -k 2>/dev/null || true
  exit $status
fi

# Wine sees the whole file system as drive Z:.
winepath_of() { printf 'Z:%s' "${1//\//\\}"; }

# The prefix is made once, under a lock, however many tests start at once.
mkdir -p "$(dirname "$prefix")"
(
  flock 9
  if [ ! -f "$prefix/system.reg" ]; then
    "$loader" wineboot -i >/dev/null 2>&1
    # Windows open on a desktop of Wine's own, which draws their frames and
    # needs no window manager (without one, Wine waits for it on every hide).
    "$loader" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
    "$loader" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
    # A crash ends the program with a backtrace on stderr, instead of a
    # dialog nobody closes.
    "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    # The tests never reach the machine's own serial and parallel ports:
    # empty entries take the names Wine would give them (all but the last,
    # COM256 and LPT256, which no test uses), so COMn and LPTn open only
    # what a test maps itself.
    hide="$prefix.ports.reg"
    {
      printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
      for n in $(seq 1 255); do printf '"COM%d"=""\r\n"LPT%d"=""\r\n' "$n" "$n"; done
    } >"$hide"
    "$loader" regedit /S "$(winepath_of "$hide")" >/dev/null 2>&1
    rm -f "$hide"
    wineserver -w
  fi
) 9>"$prefix.lock"

exec "$loader" "$@"
