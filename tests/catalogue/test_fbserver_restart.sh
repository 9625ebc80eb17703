#!/usr/bin/env bash
# scripts/fbserver start right after scripts/fbserver kill, several times in a
# row: each start must end with the server running and answering on
# its address, never with "the server ended at start" while it is in fact
# starting, and always on the address it had before the kill (a test keeps
# the names it built). Then a program that takes the port while the server
# is stopped: the next start moves to another port and says so. The server
# is left as it was found: running, or stopped.
#
#   test_fbserver_restart.sh FBSERVER [ROUNDS]
set -euo pipefail

readonly Fbserver=$1
readonly Rounds=${2:-10}

# Whether the server's address takes a connection: a few tries, so that a
# machine busy with other tests (a connect that takes more than a second)
# is not taken for a missing server.
answers() {
  local address
  address=$("$Fbserver" address)
  for _ in 1 2 3 4 5; do
    timeout 2 bash -c "exec 3<>/dev/tcp/$address" 2>/dev/null && return 0
    sleep 0.2
  done
  return 1
}

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
readonly first=$("$Fbserver" address)
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
  if ! status=$("$Fbserver" status 2>&1); then
    printf 'round %s: the start reported success, but the server is not running:\n%s\n%s\n' "$round" "$output" \
      "$status" >&2
    exit 1
  fi
  if ! answers; then
    printf 'round %s: the start reported success, but %s does not answer:\n%s\n%s\n' "$round" \
      "$("$Fbserver" address)" "$output" "$status" >&2
    exit 1
  fi
  if [ "$("$Fbserver" address)" != "$first" ]; then
    printf 'round %s: the server moved from %s to %s\n' "$round" "$first" "$("$Fbserver" address)" >&2
    exit 1
  fi
done
echo "$Rounds starts right after a kill: all running on $first"

# Another program listens on the port while the server is stopped (ffmpeg
# waiting for a stream, which ends when the test kills it).
"$Fbserver" stop >/dev/null
ffmpeg -nostdin -v quiet -f s16le -ar 8000 -ac 1 -i "tcp://${first/\//:}?listen=1" -f null - &
squatter=$!
trap 'kill "$squatter" 2>/dev/null || true; restore' EXIT
hex=$(printf ':%04X' "${first#*/}")
for _ in $(seq 100); do
  awk -v port="$hex" 'FNR > 1 && $4 == "0A" && substr($2, length($2) - 4) == port { found = 1 } END { exit !found }' \
    /proc/net/tcp && break
  sleep 0.1
done
output=$("$Fbserver" start 2>&1)
moved=$("$Fbserver" address)
if [ "$moved" = "$first" ] || ! answers || [[ "$output" != *"in use by another program"* ]]; then
  printf 'with %s taken: the start gave %s:\n%s\n' "$first" "$moved" "$output" >&2
  exit 1
fi
echo "with $first taken the server moved to $moved"
