#!/usr/bin/env bash
# scripts/fbserver removes only a root that its own start made. A mistyped or
# hostile DZ_FBSERVER_ROOT (a folder of something else whose name holds
# "dz-fbserver", a path that leads out with "..", a link given with a
# trailing slash, a relative path) is refused by start and stop alike, and
# nothing at it, or behind it, is removed. A root that a start made is
# removed by the stop.
#
#   test_fbserver_root.sh FBSERVER
set -euo pipefail

readonly Fbserver=$1

if [ "$(id -u)" != 0 ]; then
  echo "test_fbserver_root: needs root (the script runs the server as user firebird)"
  exit 77
fi

base=$(mktemp -d /tmp/dz-fbserver-root-test.XXXXXX)
chmod 0755 "$base"  # the server runs as user firebird
trap 'DZ_FBSERVER_ROOT="$base/dz-fbserver-own" "$Fbserver" stop >/dev/null 2>&1 || true; rm -rf -- "$base"' EXIT

failures=0
check() {
  if ! eval "$2"; then
    echo "FAILED: $1" >&2
    failures=$((failures + 1))
  fi
}

# A folder of something else, with a file in it.
victim=$base/dz-fbserver-victim
mkdir -p "$victim/dados" "$base/elsewhere" "$base/target"
echo keep >"$victim/dados/arquivo"
echo keep >"$base/elsewhere/arquivo"
echo keep >"$base/target/arquivo"
ln -s "$base/target" "$base/dz-fbserver-link"

for root in "$victim" "$victim/" "$victim/../elsewhere" "$base/dz-fbserver-x/../../${base##*/}/elsewhere" \
            "$base/dz-fbserver-link/" "$base/dz-fbserver-link" "dz-fbserver-relative"; do
  for command in stop kill start; do
    status=0
    output=$(DZ_FBSERVER_ROOT=$root "$Fbserver" "$command" 2>&1) || status=$?
    check "$command with DZ_FBSERVER_ROOT=$root fails ($output)" '[ "$status" -ne 0 ]'
    check "$command with DZ_FBSERVER_ROOT=$root leaves the victim" '[ -f "$victim/dados/arquivo" ]'
    check "$command with DZ_FBSERVER_ROOT=$root leaves elsewhere" '[ -f "$base/elsewhere/arquivo" ]'
    check "$command with DZ_FBSERVER_ROOT=$root leaves the link and its target" \
      '[ -L "$base/dz-fbserver-link" ] && [ -f "$base/target/arquivo" ]'
    check "$command with DZ_FBSERVER_ROOT=$root writes no marker" \
      '[ ! -e "$victim/.dz-fbserver-root" ] && [ ! -e "$base/target/.dz-fbserver-root" ]'
  done
done

# A root that this script's start made goes with the stop; a stop with
# nothing there is no error.
own=$base/dz-fbserver-own
DZ_FBSERVER_ROOT=$own "$Fbserver" start >/dev/null
check "start made the root with its marker" '[ -f "$own/.dz-fbserver-root" ]'
DZ_FBSERVER_ROOT=$own "$Fbserver" stop >/dev/null
check "stop removed the root that start made" '[ ! -e "$own" ]'
check "a second stop is no error" 'DZ_FBSERVER_ROOT=$own "$Fbserver" stop >/dev/null'

if [ "$failures" -ne 0 ]; then
  echo "test_fbserver_root: $failures failures" >&2
  exit 1
fi
echo "test_fbserver_root: passed"
