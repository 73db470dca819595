#!/usr/bin/env bash
# Installs the Debian packages Vornex needs that are missing, using sudo only
# when not root. Usage: scripts/deps.sh run|test|screenshots|release
set -euo pipefail

purpose=${1:-run}
# GoogleTest too for running: the virtual printer is built with the tests.
# rsvg-convert draws the icon's PNG sizes from its SVG source. Avahi's and
# CUPS's headers: Vornex looks for printers on the network through them.
packages=(g++ cmake ninja-build pkg-config qt6-base-dev fonts-liberation googletest librsvg2-bin
          libavahi-client-dev libcups2-dev)
# The Debian package and the Windows release: dpkg-shlibdeps finds the
# package's dependencies, ImageMagick makes the Windows icon, zip the archive.
release=(dpkg-dev g++-mingw-w64-i686-posix imagemagick zip)
case "$purpose" in
  run) packages+=(xvfb) ;;
  screenshots) packages+=(xvfb imagemagick xdotool) ;;
  # locales: the Qt tests make a comma-decimal locale when the machine lacks one.
  # The Windows build: mingw-w64 for 32-bit Windows (and 64-bit, for a
  # kernel that cannot run 32-bit programs), and Wine to run its tests.
  # The package is checked too: lintian, desktop-file-validate, man's own
  # warnings, and the archive's listing. The network printer tests start
  # their own D-Bus, Avahi and CUPS, and the benchmark compares with socat;
  # the print queue tests print through CUPS's socket backend, which is in
  # the cups package; the network fault tests make a network namespace of
  # their own (iproute2) and lose packets in it with nftables.
  test) packages+=(libgtest-dev xvfb xauth locales
                   g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64
                   "${release[@]}" lintian desktop-file-utils man-db unzip
                   dbus avahi-daemon avahi-utils cups-daemon cups-client cups socat iproute2 nftables) ;;
  release) packages+=("${release[@]}") ;;
  *) echo "usage: $0 run|test|screenshots|release" >&2; exit 2 ;;
esac

# 32-bit Wine only where the kernel runs 32-bit programs: elsewhere the
# Windows tests run as 64-bit code under wine64 (scripts/test.sh). Asked of
# the kernel with the smallest such program there is (it exits with 0).
runs32() {
  local probe
  probe=$(mktemp) || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5b\x00\x00\x00\x5b\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\x31\xc0\x40\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" 2>/dev/null
  local status=$?
  rm -f "$probe"
  return $status
}
[ "$purpose" = test ] && runs32 && packages+=(wine32:i386)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
# 32-bit Wine comes from Debian's i386 packages.
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
# A mirror caught mid-sync fails one index now and then: tried again, and
# what could be read is used (the install below still fails loudly).
for try in 1 2 3; do
  $sudo apt-get update -q && break
  [ "$try" -lt 3 ] && sleep 10
done || true
# The 32-bit packages go last and on their own: where their index is behind
# the 64-bit one they cannot be installed, and the Windows tests then run as
# 64-bit code under wine64 (scripts/test.sh), as on a kernel without IA-32.
native=() foreign=()
for p in "${missing[@]}"; do
  if [[ $p == *:i386 ]]; then foreign+=("$p"); else native+=("$p"); fi
done
# With what the packages recommend (Wine's fonts among them), as the
# development machines have them.
[ ${#native[@]} -eq 0 ] || DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${native[@]}"
if [ ${#foreign[@]} -gt 0 ] &&
   ! DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${foreign[@]}"; then
  echo "deps.sh: ${foreign[*]} could not be installed; the Windows tests will run as 64-bit code" >&2
fi
