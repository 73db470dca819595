#!/usr/bin/env bash
# Makes the release in build/release: the Debian package
# vornex_<version>_amd64.deb, the Windows archive vornex-<version>-win32.zip
# (vornex.exe and a README), and SHA256SUMS for both.
#   scripts/release.sh        both
#   scripts/release.sh deb    the Debian package only
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
case "$what" in
  all|deb) ;;
  *) echo "usage: $0 [deb]" >&2; exit 2 ;;
esac

scripts/deps.sh release
out=build/release
rm -rf "$out"

# Only what is installed is built, not the tests.
cmake --preset linux >/dev/null
cmake --build --preset linux --target dist
cpack --preset linux
if [ "$what" = all ]; then
  cmake --preset win32 >/dev/null
  cmake --build --preset win32 --target dist
  cpack --preset win32
fi

rm -rf "$out/_CPack_Packages"
(
  cd "$out"
  products=(vornex_*.deb)
  [ "$what" = all ] && products+=(vornex-*.zip)
  sha256sum "${products[@]}" > SHA256SUMS
)
echo "In $out:"
ls -l "$out"
cat "$out/SHA256SUMS"
