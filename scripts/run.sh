#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vornex.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
cmake --preset linux >/dev/null
cmake --build --preset linux --target vornex
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display here: Vornex is a desktop program and needs one to open its window." >&2
  exit 1
fi
exec build/linux/vornex "$@"
