#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vornex wired to a virtual
# printer: COM1, LPT1, a USB printer, the maker's USB library and a printer
# on the network (TCP:127.0.0.1:PORT) all lead to it, and it reports every
# file that arrives (port, bytes, SHA-256).
#   scripts/run.sh            the window (or, without a display, the
#                             command-line sender on a sample file)
#   scripts/run.sh --no-usb   the same without the USB printer, so that the
#                             port chosen in the port box is the one used
set -euo pipefail
cd "$(dirname "$0")/.."
usb=1
[ "${1:-}" = "--no-usb" ] && usb=0

scripts/deps.sh run
cmake --preset linux >/dev/null
cmake --build --preset linux --target vornex vornex-send vornex-printer usbapi

build=build/linux
work=$(mktemp -d /tmp/vornex-run-XXXXXX)
printer_args=(--dir "$work/printer" --env "$work/printer.env")
display=${DISPLAY:-}${WAYLAND_DISPLAY:-}
# Without a window there is no port box: the sample goes to COM1, the serial line.
[ "$usb" = 0 ] || [ -z "$display" ] && printer_args+=(--no-usb)

"$build/vornex-printer" "${printer_args[@]}" &
printer=$!
trap 'kill $printer 2>/dev/null; wait $printer 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -s "$work/printer.env" ] && break; sleep 0.1; done
# shellcheck disable=SC1091
. "$work/printer.env"

echo "The printer on the network is $VORNEX_TCP: type it into the port box."
if [ -n "$display" ]; then
  echo "Vornex is open. Pick a file, press Start, and watch it arrive here."
  "$build/vornex" "$@"
else
  echo "No display here, so no window: the command-line sender sends a sample file instead."
  sample="$work/sample.prn"
  head -c 20000 /dev/urandom > "$sample"
  echo "Sending $sample (20000 bytes, sha256 $(sha256sum "$sample" | cut -c1-64)) to COM1:"
  "$build/vornex-send" --port COM1 "$sample"
  echo "And to the printer on the network, $VORNEX_TCP:"
  "$build/vornex-send" --port "$VORNEX_TCP" "$sample"
  sleep 1  # the printer reports a file once the line has gone quiet
fi
