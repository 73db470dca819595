#!/usr/bin/env bash
# Builds and runs every benchmark and prints one table:
#   the serial path's cost per 16-byte piece, and its processor share while
#   the far end reads at 11 520 bytes a second;
#   port discovery over 300 USB device keys;
#   the USB printer and parallel transports' throughput to a FIFO, beside dd
#   with the same block size;
#   the network transport's throughput to the virtual printer, beside socat,
#   and the time from Start to the printer's first byte;
#   the print queue transport's throughput through a CUPS raw queue, beside
#   lp -o raw to the same queue;
#   printers on the network at fault (as root): Ctrl-C under a reply flood,
#   a name whose first address is silent, 500 printers announced with DNS-SD;
#   peak memory while sending a 100 MiB file;
#   a 2 MB file to 200 network printers at once (--jobs 64) beside socat one
#   after another and --jobs 1, its peak memory, and 10 of them stalling.
# Usage: bench/run.sh [MiB for the FIFO, network and print queue runs, default 64]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux >/dev/null
if ! log=$(cmake --build --preset linux --target vornex_bench serial_bench memory_bench network_bench spooler_bench \
                  network_faults_bench fleet_bench vornex-send vornex-test-announcer -j2 2>&1); then
  echo "$log" >&2
  exit 1
fi
b=build/linux
echo "| what | figure | against |"
echo "|---|---|---|"
"$b/bench/serial_bench" 262144 131072 11520
"$b/bench/vornex_bench" "${1:-64}"
"$b/bench/network_bench" "${1:-64}"
"$b/bench/spooler_bench" "${1:-64}"
"$b/bench/network_faults_bench" "$PWD/$b/vornex-send" "$PWD/$b/tests/vornex-test-announcer"
"$b/bench/memory_bench" "$PWD/$b/vornex-send" 100
"$b/bench/fleet_bench" "$PWD/$b/vornex-send" 200
