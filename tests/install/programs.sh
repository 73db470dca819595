#!/usr/bin/env bash
# The programs' own texts: --help and --version answer with exit status 0 (the
# window's program without a display), --version names the build's version,
# a wrong option is refused with status 2, and every option --help names is
# in the program's man page, so that the pages cannot fall behind.
#   programs.sh VERSION MAN_DIR PROGRAM...
set -uo pipefail
version=$1 man_dir=$2
shift 2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A man page's text as its reader sees the options: roff's \- is a dash, and
# font changes split nothing.
page_text() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' "$1"; }

for program in "$@"; do
  name=$(basename "$program")
  # No display, no toolkit: the questions are answered before a window could be.
  quiet=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)

  out=$("${quiet[@]}" "$program" --version 2>&1); status=$?
  [ "$status" -eq 0 ] || fail "$name --version exits $status: $out"
  [ "$out" = "$name $version" ] || fail "$name --version says '$out', not '$name $version'"

  help=$("${quiet[@]}" "$program" --help 2>&1); status=$?
  [ "$status" -eq 0 ] || fail "$name --help exits $status"
  [[ "$help" == "usage: $name"* ]] || fail "$name --help does not begin with its usage: $help"

  # Told only once the toolkit has taken its own options, so with a screen.
  err=$(QT_QPA_PLATFORM=offscreen "$program" --no-such-option 2>&1 >/dev/null); status=$?
  [ "$status" -eq 2 ] || fail "$name --no-such-option exits $status, not 2"
  [[ "$err" == *"--no-such-option"* ]] || fail "$name does not name the wrong option: $err"

  page="$man_dir/$name.1"
  if [ ! -f "$page" ]; then
    fail "$name has no man page $page"
    continue
  fi
  text=$(page_text "$page")
  options=$(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
  [ -n "$options" ] || fail "$name --help names no option"
  for option in $options; do
    grep -qF -- "$option" <<<"$text" || fail "$name's man page does not describe $option"
  done
  echo "$name: --help, --version and $(wc -w <<<"$options") options in its man page"
done

[ "$failures" -eq 0 ] || { echo "$failures failed" >&2; exit 1; }
