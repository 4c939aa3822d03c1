#!/usr/bin/env bash
# The X display going away under a running console (run inside tests/isolate.sh --netns): Qt
# ends the program, but the connected student must still be told to stop, and the console's
# log must say what happened.
# Usage: tests/display-loss.sh PATH_TO_velmora-teacher PATH_TO_velmora-student-sim
set -u
console=$1
student=$2
work=$(mktemp -d)
command -v Xvfb >/dev/null || { echo "SKIPPED: Xvfb is not installed"; exit 77; }
fifo=$work/display; mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fifo" 2>/dev/null &
xpid=$!
read -r -t 20 dpy <"$fifo"
[ -n "${dpy:-}" ] || { kill $xpid 2>/dev/null; echo "SKIPPED: Xvfb did not start"; exit 77; }

# A portable copy of the console in a folder of its own, its command port known.
mkdir "$work/app"
cp "$console" "$work/app/velmora-teacher"
printf '[SysInfo]\nSocket_Port=24711\nUDP_Port1=24712\nUDP_Port2=24713\n' >"$work/app/server.ini"
XDG_RUNTIME_DIR=$work DISPLAY=":$dpy" QT_QPA_PLATFORM=xcb "$work/app/velmora-teacher" \
  2>"$work/console.log" &
cpid=$!
for _ in $(seq 100); do ss -ltn 'sport = :24711' | grep -q 24711 && break; sleep 0.1; done
XDG_RUNTIME_DIR=$work "$student" --console 127.0.0.1 --port 24711 --image-port 24714 --mouse-port 24715 \
  --name pupil >"$work/student.log" 2>&1 &
spid=$!
trap 'kill $cpid $spid $xpid 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do grep -q CONNECTED "$work/student.log" && break; sleep 0.1; done

failed=0
if ! grep -q CONNECTED "$work/student.log"; then
  echo "FAILED: the student never connected"; cat "$work/student.log" "$work/console.log"; failed=1
else
  sleep 0.5
  kill $xpid; wait $xpid 2>/dev/null
  for _ in $(seq 100); do kill -0 $cpid 2>/dev/null || break; sleep 0.1; done
  if kill -0 $cpid 2>/dev/null; then echo "FAILED: the console lives on without its display"; failed=1; fi
  for _ in $(seq 50); do grep -q DISCONNECTED "$work/student.log" && break; sleep 0.1; done
  if ! grep -q "DEMO off" "$work/student.log"; then
    echo "FAILED: the student was not told to stop"; cat "$work/student.log"; failed=1
  fi
  if ! grep -q "教师机意外结束" "$work/console.log"; then
    echo "FAILED: the console's log does not say what happened"; cat "$work/console.log"; failed=1
  fi
fi
if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi
exit $failed
