#!/usr/bin/env bash
# Builds and runs the port benchmarks: discovery over 300 USB device keys,
# and the USB printer and parallel transports to a FIFO beside cat.
# Usage: bench/run.sh [MiB to send, default 64]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux >/dev/null
if ! log=$(cmake --build --preset linux --target vornex_bench -j2 2>&1); then
  echo "$log" >&2
  exit 1
fi
exec build/linux/bench/vornex_bench "$@"
