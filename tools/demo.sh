#!/usr/bin/env bash
# The console with three simulated students, each on its own host: private network namespaces
# joined by a bridge on the test subnet 10.77.0.0/24 (console 10.77.0.1, student-01..03 on
# .11..13), so the demonstration's broadcasts really cross from the console to every student
# and nothing leaves this machine. student-01 speaks the plaintext command port; student-02 and
# student-03 join through the trusted channel, pinned to the demo console's key (made afresh in
# a private data folder). The students' lines (commands received, "DEMO on", "FRAMES decoded=N"
# when a demonstration stops, the channel's "CHANNEL" and "KEY" lines) appear here.
# Usage: tools/demo.sh [BUILD_DIR]   (needs a display; without one it runs under Xvfb)
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
students=3

if [ "${VELMORA_DEMO_INSIDE:-}" != 1 ]; then
  export VELMORA_DEMO_INSIDE=1
  if [ "$(id -u)" -eq 0 ]; then ns=(unshare --net --mount); else ns=(unshare --map-root-user --net --mount); fi
  "${ns[@]}" true 2>/dev/null || { echo "make demo needs private namespaces (run as root)"; exit 1; }
  exec "${ns[@]}" -- "$here/demo.sh" "$build"
fi

pids=()
hostpids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT

# The console's host: a bridge that the student hosts plug into.
ip link set lo up
ip link add velmora-br type bridge
ip addr add 10.77.0.1/24 dev velmora-br
ip link set velmora-br up

hosts=$(mktemp)
printf '127.0.0.1 localhost\n10.77.0.1 %s\n' "$(hostname)" >"$hosts"
for i in $(seq 1 $students); do
  unshare --net sleep infinity &
  host=$!
  pids+=("$host")
  hostpids+=("$host")
  sleep 0.1
  ip link add "velmora-s$i" type veth peer name eth0 netns "$host"
  ip link set "velmora-s$i" master velmora-br up
  nsenter -t "$host" -n sh -c "ip link set lo up; ip addr add 10.77.0.1$i/24 dev eth0; ip link set eth0 up"
  echo "10.77.0.1$i student-0$i" >>"$hosts"
done
# The console names its students by reverse lookup of their addresses.
mount --bind "$hosts" /etc/hosts

if [ -z "${DISPLAY:-}" ]; then
  # A free display number, chosen by the server itself.
  fifo=$(mktemp -u); mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
  pids+=($!)
  read -r -t 20 dpy <"$fifo"; rm -f "$fifo"
  export DISPLAY=":$dpy"
  echo "No display: the console runs under Xvfb on $DISPLAY."
fi

# A private runtime folder: the demo's console is not the user's own running one; a private data
# folder: its key is not the user's own console's.
XDG_RUNTIME_DIR=$(mktemp -d)
XDG_DATA_HOME=$(mktemp -d)
export XDG_RUNTIME_DIR XDG_DATA_HOME
fingerprint=$("$build/app/velmora-teacher" --fingerprint)
"$build/app/velmora-teacher" &
console=$!
pids+=("$console")
sleep 2
for i in $(seq 1 $students); do
  channel=()
  [ "$i" -eq 1 ] || channel=(--fingerprint "$fingerprint" --user "pupil-0$i")
  nsenter -t "${hostpids[$((i - 1))]}" -n -- "$build/tools/student-sim/velmora-student-sim" \
    --console 10.77.0.1 --name "student-0$i" "${channel[@]}" &
  pids+=($!)
done
echo "Console on 10.77.0.1 (key $fingerprint), students on 10.77.0.11-1$students:"
echo "student-01 in plaintext, the others through the trusted channel (their user in 登录用户)."
echo "Press 教师演示 to demonstrate; each student prints DEMO on, and FRAMES decoded=N when the"
echo "demonstration stops; the channel's students get the demonstration's key first (KEY)."
wait "$console"
