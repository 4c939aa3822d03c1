#!/usr/bin/env bash
# Runs one test binary in a private network namespace with only loopback up, and with
# --xvfb also under a private X server, so that tests may broadcast and capture freely.
# VELMORA_XVFB_SCREEN sets that server's screen (default 1280x800x24).
# Exit 77 (skipped, with the reason) when no namespace can be had.
set -u
. "$(dirname "$0")/etc-hosts.sh"
mode=$1; shift
if [ "${VELMORA_IN_NETNS:-}" != 1 ]; then
  export VELMORA_IN_NETNS=1
  if [ "$(id -u)" -eq 0 ]; then ns=(unshare --net); else ns=(unshare --map-root-user --net); fi
  [ -e /etc/hosts ] || ns+=(--mount)
  if ! "${ns[@]}" true 2>/dev/null; then
    echo "SKIPPED: cannot create a private network namespace (unshare -n refused); network tests need one"
    exit 77
  fi
  exec "${ns[@]}" -- "$0" "$mode" "$@"
fi
ip link set lo up 2>/dev/null || { echo "SKIPPED: cannot bring loopback up in the namespace"; exit 77; }
ensure_etc_hosts || { echo "SKIPPED: no /etc/hosts and none can be laid over /etc"; exit 77; }
if [ "$mode" = --xvfb ]; then
  command -v Xvfb >/dev/null || { echo "SKIPPED: Xvfb is not installed"; exit 77; }
  fifo=$(mktemp -u); mkfifo "$fifo"
  # -noreset: without it the server resets whenever its last client leaves, refusing the next
  # connection for a moment and wiping what a test painted on the root window.
  Xvfb -displayfd 3 -screen 0 "${VELMORA_XVFB_SCREEN:-1280x800x24}" -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
  xpid=$!
  read -r -t 20 dpy <"$fifo"; rm -f "$fifo"
  [ -n "${dpy:-}" ] || { kill "$xpid" 2>/dev/null; echo "SKIPPED: Xvfb did not start"; exit 77; }
  export DISPLAY=":$dpy"
  "$@"; rc=$?
  kill "$xpid" 2>/dev/null; wait "$xpid" 2>/dev/null
  exit $rc
fi
exec "$@"
