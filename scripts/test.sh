#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build, then
# AddressSanitizer with UndefinedBehaviorSanitizer, then ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
for preset in linux linux-asan linux-tsan; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "All tests passed."
