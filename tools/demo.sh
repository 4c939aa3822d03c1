#!/usr/bin/env bash
# The console with three simulated students, all inside a private network and mount namespace:
# nothing the console broadcasts leaves this machine, and a private hosts file gives the
# students the names the console shows (student-01 .. student-03 on 127.0.0.11 .. 13).
# Usage: tools/demo.sh [BUILD_DIR]   (needs a display; without one it runs under Xvfb)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

if [ "${VELMORA_DEMO_INSIDE:-}" != 1 ]; then
  export VELMORA_DEMO_INSIDE=1
  if [ "$(id -u)" -eq 0 ]; then ns=(unshare --net --mount); else ns=(unshare --map-root-user --net --mount); fi
  exec "${ns[@]}" -- "$here/demo.sh" "$build"
fi

ip link set lo up
# A classroom link of its own (a veth pair inside this namespace): the console broadcasts to
# its subnet, and a host with loopback alone has none. Broadcasts on it reach the students here.
ip link add velmora-lab type veth peer name velmora-labp
ip addr add 10.77.0.1/24 dev velmora-lab
ip link set velmora-labp up
ip link set velmora-lab up
hosts=$(mktemp)
{
  echo "127.0.0.1 localhost"
  echo "10.77.0.1 $(hostname)"
  for i in 1 2 3; do echo "127.0.0.1$i student-0$i"; done
} >"$hosts"
mount --bind "$hosts" /etc/hosts

if [ -z "${DISPLAY:-}" ]; then
  echo "No display: the console runs under Xvfb on :77 (take screenshots with DISPLAY=:77)."
  Xvfb :77 -screen 0 1280x800x24 -nolisten tcp -noreset 2>/dev/null &
  export DISPLAY=:77
  sleep 1
fi

"$build/app/velmora-teacher" &
console=$!
sleep 2
"$build/tools/student-sim/velmora-student-sim" --console 127.0.0.1 --students 3 \
  --source-base 127.0.0.11 --name student &
students=$!
trap 'kill $students 2>/dev/null || true' EXIT
wait "$console"
