#!/usr/bin/env bash
# Installs the Debian packages Vornex needs that are missing, using sudo only
# when not root. Usage: scripts/deps.sh run|test
set -euo pipefail

purpose=${1:-run}
packages=(g++ cmake ninja-build pkg-config qt6-base-dev fonts-liberation)
case "$purpose" in
  run) packages+=(xvfb) ;;
  test) packages+=(googletest libgtest-dev xvfb) ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
