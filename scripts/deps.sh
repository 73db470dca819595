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
  # their own D-Bus, Avahi and CUPS, and the benchmark compares with socat.
  test) packages+=(libgtest-dev xvfb xauth locales
                   g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine wine64 wine32:i386
                   "${release[@]}" lintian desktop-file-utils man-db unzip
                   dbus avahi-daemon avahi-utils cups-daemon cups-client socat) ;;
  release) packages+=("${release[@]}") ;;
  *) echo "usage: $0 run|test|screenshots|release" >&2; exit 2 ;;
esac

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
$sudo apt-get update -q
# With what the packages recommend (Wine's fonts among them), as the
# development machines have them.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
