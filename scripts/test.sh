#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the plain build (with
# the Debian package, made and tried out), then AddressSanitizer with
# UndefinedBehaviorSanitizer, then ThreadSanitizer; then the Windows build,
# cross-built, with its tests under Wine; then the release as it is made.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
for preset in linux linux-asan linux-tsan; do
  echo "=== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done

echo "=== win32"
cmake --preset win32 >/dev/null
cmake --build --preset win32
# Without Wine: what the program imports, and the release archive made of it.
ctest --preset win32 -R '^(imports|release)$'
# The 32-bit tests need a kernel that runs 32-bit programs. Where it does
# not, the same tests are built as 64-bit code and run under wine64.
windows=win32
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  windows=win64
  echo "=== win64: this kernel does not run 32-bit programs; the Windows tests run as 64-bit code"
  cmake --preset win64 >/dev/null
  cmake --build --preset win64
fi
# A fresh Wine prefix for every run, made by the first test; one virtual
# screen for them all.
prefix="$PWD/build/$windows/wineprefix"
rm -rf "$prefix" "$prefix.lock"
status=0
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset "$windows" || status=$?
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
[ "$status" -eq 0 ]

# The release as one command makes it, with the sums a downloader checks.
echo "=== release"
scripts/release.sh
(cd build/release && sha256sum -c SHA256SUMS)
echo "All tests passed."
