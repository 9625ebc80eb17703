#!/usr/bin/env bash
# scripts/fbserver start right after scripts/fbserver kill, several times in a
# row: each start must end with the server running and answering on
# its address, never with "the server ended at start" while it is in fact
# starting. The server is left as it was found: running, or stopped.
#
#   test_fbserver_restart.sh FBSERVER [ROUNDS]
set -euo pipefail

readonly Fbserver=$1
readonly Rounds=${2:-10}

answers() { timeout 1 bash -c "exec 3<>/dev/tcp/$("$Fbserver" address)" 2>/dev/null; }

wasRunning=0
if "$Fbserver" status >/dev/null; then wasRunning=1; fi

restore() {
  if [ "$wasRunning" = 1 ]; then
    "$Fbserver" start >/dev/null
  else
    "$Fbserver" stop >/dev/null
  fi
}
trap restore EXIT

"$Fbserver" start >/dev/null
for round in $(seq "$Rounds"); do
  "$Fbserver" kill >/dev/null
  if "$Fbserver" status >/dev/null; then
    echo "round $round: still running after the kill" >&2
    exit 1
  fi
  if ! output=$("$Fbserver" start 2>&1); then
    printf 'round %s: the start right after the kill failed:\n%s\n' "$round" "$output" >&2
    exit 1
  fi
  if ! "$Fbserver" status >/dev/null || ! answers; then
    printf 'round %s: the start reported success, but the server is not there:\n%s\n' "$round" "$output" >&2
    exit 1
  fi
done
echo "$Rounds starts right after a kill: all running"
