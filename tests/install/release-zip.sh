#!/usr/bin/env bash
# The Windows release archive, made from this build folder: the program as
# built and a README for Windows users, in a folder named after the version.
#   release-zip.sh BUILD_DIR VERSION ARCH
set -uo pipefail
build=$1 version=$2 arch=$3
work=$(mktemp -d /tmp/vornex-zip-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack could not make the archive" >&2
  exit 1
fi
name="vornex-$version-$arch"
zip="$work/out/$name.zip"
[ -f "$zip" ] || { ls "$work/out" >&2; echo "FAIL: no $name.zip" >&2; exit 1; }

listing=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
expected=$(printf '%s\n' "$name/README.txt" "$name/vornex.exe")
[ "$listing" = "$expected" ] || fail "the archive holds"$'\n'"$listing"$'\n'"not"$'\n'"$expected"

unzip -q "$zip" -d "$work/unzipped"
cmp -s "$work/unzipped/$name/vornex.exe" "$build/vornex.exe" || fail "vornex.exe in the archive is not the one built"
readme="$work/unzipped/$name/README.txt"
head -n 1 "$readme" | grep -q "^Vornex $version for Windows"$'\r'"$" || fail "README.txt does not begin with the version: $(head -n 1 "$readme")"
[ "$(grep -c $'\r$' "$readme")" -eq "$(wc -l <"$readme")" ] || fail "README.txt has lines without CRLF, which Notepad of old shows as one"

[ "$failures" -eq 0 ] || { echo "$failures failed" >&2; exit 1; }
echo "$name.zip: vornex.exe and README.txt"
