#!/usr/bin/env bash
# The Debian package, built from this build folder and checked as a user
# would get it: its fields, its files, lintian, the desktop entry and the man
# pages as shipped; then, unpacked into a folder of its own (the machine's
# system is not touched), its vornex-send sends files to its vornex-printer,
# which must receive them byte for byte.
#   package.sh BUILD_DIR VERSION
set -uo pipefail
build=$1 version=$2
work=$(mktemp -d /tmp/vornex-package-XXXXXX)
printer=""
cleanup() {
  [ -n "$printer" ] && kill "$printer" 2>/dev/null && wait "$printer" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
need() { command -v "$1" >/dev/null || { echo "FAIL: $1 is missing; scripts/deps.sh test installs it" >&2; exit 1; }; }
for tool in cpack dpkg-deb lintian desktop-file-validate man sha256sum; do need "$tool"; done

# --- the package ------------------------------------------------------------------
if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack could not make the package" >&2
  exit 1
fi
deb="$work/out/vornex_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$work/out" >&2; echo "FAIL: no $(basename "$deb")" >&2; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vornex ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer '$(field Maintainer)' is not a name and an address"
# shlibdeps: the C++ runtime and Qt, with versions, found from the programs.
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6widgets6; do
  [[ "$depends" == *"$lib ("* ]] || fail "Depends lacks $lib: $depends"
done
[ "$(field Description | wc -l)" -gt 3 ] || fail "the description has no long text"

listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/vornex ./usr/bin/vornex-send ./usr/bin/vornex-printer \
            ./usr/share/applications/vornex.desktop \
            ./usr/share/icons/hicolor/scalable/apps/vornex.svg \
            ./usr/share/icons/hicolor/48x48/apps/vornex.png \
            ./usr/share/icons/hicolor/256x256/apps/vornex.png \
            ./usr/share/man/man1/vornex.1.gz ./usr/share/man/man1/vornex-send.1.gz \
            ./usr/share/man/man1/vornex-printer.1.gz \
            ./usr/lib/udev/rules.d/70-vornex-usb-printer.rules \
            ./usr/share/doc/vornex/README.md ./usr/share/doc/vornex/copyright \
            ./usr/share/doc/vornex/changelog.gz; do
  grep -qxF "$path" <<<"$listing" || fail "the package lacks $path"
done
# The stand-in maker's library is for the tests only.
grep -qi usbapi <<<"$listing" && fail "the package ships the stand-in USB library: $(grep -i usbapi <<<"$listing")"

# lintian: errors fail; warnings are shown.
lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1
grep -v "running with root privileges" "$work/lintian.log"
grep -q '^E: ' "$work/lintian.log" && fail "lintian reports errors"

# --- unpacked -----------------------------------------------------------------------
root="$work/root"
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg -x" >&2; exit 1; }

desktop-file-validate "$root/usr/share/applications/vornex.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=vornex %f' "$root/usr/share/applications/vornex.desktop" || fail "the desktop entry does not pass a file"
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man warns about $(basename "$page"): $warnings"
done

bin="$root/usr/bin"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/vornex" --version 2>&1) \
  || fail "the packaged vornex does not start: $out"

# The packaged sender to the packaged printer, with no USB printer, so the
# port named is the one used.
"$bin/vornex-printer" --no-usb --dir "$work/printer" --env "$work/printer.env" >"$work/printer.log" 2>&1 &
printer=$!
for _ in $(seq 100); do [ -s "$work/printer.env" ] && break; sleep 0.1; done
[ -s "$work/printer.env" ] || { cat "$work/printer.log" >&2; echo "FAIL: the packaged printer did not start" >&2; exit 1; }
# shellcheck disable=SC1091
. "$work/printer.env"
send() {
  local port=$1 bytes=$2 file="$work/file-$1.prn" sum line
  head -c "$bytes" /dev/urandom >"$file"
  sum=$(sha256sum "$file" | cut -c1-64)
  if ! "$bin/vornex-send" --port "$port" "$file" >"$work/send.log" 2>&1; then
    cat "$work/send.log" >&2
    fail "vornex-send to $port failed"
    return
  fi
  # The printer reports a file once its port has been quiet a moment.
  for _ in $(seq 100); do
    line=$(grep "^$port " "$work/printer.log")
    [ -n "$line" ] && break
    sleep 0.1
  done
  [[ "$line" =~ ^$port\ +$bytes\ bytes\ +sha256\ $sum$ ]] || fail "$port received '$line', not $bytes bytes with sha256 $sum"
  echo "$port: $bytes bytes arrived unchanged"
}
send LPT1 300000
send COM1 40000

[ "$failures" -eq 0 ] || { echo "$failures failed" >&2; exit 1; }
echo "$(basename "$deb"): $(wc -l <<<"$listing") entries, lintian without errors, a transfer byte for byte"
