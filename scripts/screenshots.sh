#!/usr/bin/env bash
# Renews the pictures in docs/screenshots: the main window and the port
# settings dialog, and a transfer to the virtual printer step by step, taken
# under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
out=docs/screenshots
mkdir -p "$out"

scripts/deps.sh screenshots
cmake --preset linux >/dev/null
cmake --build --preset linux --target vornex vornex-printer usbapi

work=$(mktemp -d /tmp/vornex-shots-XXXXXX)
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 640x480x24 >/dev/null 2>&1 &
xvfb=$!
pids=($xvfb)
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export DISPLAY=$display
sleep 1

# A window's picture, by its title.
shot() {
  local title=$1 file=$2 id
  for _ in $(seq 50); do
    id=$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1) && [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "no window \"$title\"" >&2; return 1; }
  sleep 0.3
  import -window "$id" "$file"
}

# The serial line at 4000 bytes a second, so a transfer can be watched.
build/linux/vornex-printer --dir "$work/printer" --env "$work/printer.env" --no-usb --rate 4000 \
  > "$work/printer.log" &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/printer.env" ] && break; sleep 0.1; done
# shellcheck disable=SC1091
. "$work/printer.env"
head -c 40000 /dev/urandom > "$work/label.prn"

build/linux/vornex &
pids+=($!)
shot "ZUV Vornex 2.00" "$out/linux-main.png"
main=$(xdotool search --onlyvisible --name "^ZUV Vornex 2.00\$" | head -n 1)

# Port setup: the button sits at the right of the port box.
xdotool mousemove --window "$main" 196 87 click 1
shot "Setup Form" "$out/linux-setup.png"
xdotool windowfocus "$(xdotool search --onlyvisible --name '^Setup Form$' | head -n 1)" 2>/dev/null || true
xdotool key Escape
sleep 0.3

# A transfer, step by step: the file named, Start (the serial line has no
# modem lines, so the port check says "Device not found" and the transfer goes
# on once it is read), progress, done. Whole-screen pictures, so the message
# box shows.
area() { import -window root -crop 440x300+100+90 +repage "$1"; }
xdotool mousemove --window "$main" 80 33 click --repeat 3 1
xdotool type --window "$main" "$work/label.prn"
sleep 0.2
area "$work/step1.png"
xdotool mousemove --window "$main" 56 186 click 1
sleep 0.8
area "$work/step2.png"
box=$(xdotool search --onlyvisible --name "^ZUV Vornex\$" | head -n 1)
# Read and dismissed, as a user would: focus on the box, then Enter.
[ -n "$box" ] && { xdotool windowfocus "$box" 2>/dev/null; xdotool key Return; } || true
sleep 3
area "$work/step3.png"
for _ in $(seq 150); do grep -q "^COM1 .*bytes" "$work/printer.log" && break; sleep 0.2; done
sleep 1.2
area "$work/step4.png"
convert -delay 150 -loop 0 "$work"/step[1-4].png "$out/linux-transfer.gif"
echo "Printer: $(grep "^COM1 .*bytes" "$work/printer.log")"
kill "${pids[@]:1}" 2>/dev/null || true

# The Windows program under Wine, on Wine's own desktop (it draws the frames).
# The 32-bit program where this kernel runs 32-bit code, else the same
# sources built as 64-bit.
scripts/deps.sh test
windows=win32 arch=i686
/usr/lib/wine/wine --version >/dev/null 2>&1 || { windows=win64 arch=x86_64; }
cmake --preset "$windows" >/dev/null
cmake --build --preset "$windows" --target vornex
prefix="$PWD/build/$windows/wineprefix"
cmake/wine-run.sh "$prefix" "$arch" "$PWD/build/$windows/vornex.exe" &
pids+=($!)
for _ in $(seq 300); do
  win=$(xdotool search --name "^ZUV Vornex 2.00\$" 2>/dev/null | head -n 1) && [ -n "$win" ] && break
  sleep 0.2
done
sleep 2
# The window stands at 150,113 with its frame; the dialog at 297,84.
import -window root -crop 273x226+150+113 +repage "$out/windows-main.png"
xdotool mousemove --window "$win" 199 109 click 1
sleep 2
import -window root -crop 206x246+297+84 +repage "$out/windows-setup.png"
WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
echo "Pictures in $out:"
ls -l "$out"
