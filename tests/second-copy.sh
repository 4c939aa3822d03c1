#!/usr/bin/env bash
# Two real copies of the console for one user (run inside tests/isolate.sh --xvfb): the second
# must hand over to the first and end at once, and the first must live on.
# Usage: tests/second-copy.sh PATH_TO_velmora-teacher
set -u
program=$1
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
socket=$XDG_RUNTIME_DIR/velmora-teacher-$(id -u).socket
log=$(mktemp)
"$program" 2>"$log.first" &
first=$!
trap 'kill $first 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR" "$log" "$log.first"' EXIT
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.1; done
failed=0
if [ ! -S "$socket" ]; then
  echo "FAILED: the first copy never listened on $socket"; cat "$log.first"; failed=1
else
  timeout 20 "$program" 2>"$log"
  rc=$?
  if [ $rc -ne 0 ]; then echo "FAILED: the second copy ended with $rc"; failed=1; fi
  if ! grep -q "教师机已在运行" "$log"; then echo "FAILED: the second copy did not hand over"; cat "$log"; failed=1; fi
  sleep 0.5
  if ! kill -0 $first 2>/dev/null; then echo "FAILED: the first copy did not live on"; cat "$log.first"; failed=1; fi
fi
if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed
