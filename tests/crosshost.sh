#!/usr/bin/env bash
# Two hosts on one machine: runs a test binary as the console's host (10.77.0.1) in a private
# network and mount namespace, with a second private namespace (10.77.0.2, "pupil-one") joined
# to it by a veth pair, so broadcasts really cross from one host to another and nothing leaves
# this machine. The test finds the peer through VELMORA_PEER_PID. Exit 77 (skipped, with the
# reason) where namespaces or veth links cannot be made.
set -u
. "$(dirname "$0")/etc-hosts.sh"
binary=$1; shift
if [ "${VELMORA_IN_NETNS:-}" != 1 ]; then
  export VELMORA_IN_NETNS=1
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: the two-host test needs root to join namespaces with a veth pair"
    exit 77
  fi
  unshare --net --mount true 2>/dev/null || { echo "SKIPPED: unshare refused"; exit 77; }
  exec unshare --net --mount -- "$0" "$binary" "$@"
fi
ip link set lo up
ensure_etc_hosts || { echo "SKIPPED: no /etc/hosts and none can be laid over /etc"; exit 77; }
unshare --net sleep 600 &
peer=$!
trap 'kill $peer 2>/dev/null' EXIT
sleep 0.2
if ! ip link add velmora-a type veth peer name velmora-b netns "$peer" 2>/dev/null; then
  echo "SKIPPED: cannot make a veth pair (no veth support)"
  exit 77
fi
ip addr add 10.77.0.1/24 dev velmora-a
ip link set velmora-a up
nsenter -t "$peer" -n sh -c 'ip link set lo up; ip addr add 10.77.0.2/24 dev velmora-b; ip link set velmora-b up'
hosts=$(mktemp)
printf '127.0.0.1 localhost\n10.77.0.1 %s\n10.77.0.2 pupil-one\n' "$(hostname)" >"$hosts"
mount --bind "$hosts" /etc/hosts
export VELMORA_PEER_PID=$peer
"$binary" "$@"
