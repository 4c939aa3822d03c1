# How long the stream can fall silent inside one long message: a message of SIZE bytes written
# as the console writes it (one non-blocking write, the rest queued and flushed whenever the
# socket is writable) and read as the agent reads it (64 KiB reads as they come) over loopback;
# prints the longest silence between two reads. Run it in a private namespace whose loopback is
# shaped like a slow link, e.g.
#   unshare --net sh -c 'ip link set lo mtu 1500 up;
#     tc qdisc add dev lo root tbf rate 1mbit burst 4kb latency 3s; python3 bench/message_gaps.py 262145'
# (latency 200ms instead of 3s makes the queue drop packets, as a congested link does).
import select, socket, sys, threading, time
size = int(sys.argv[1])
srv = socket.socket(); srv.bind(("127.0.0.1", 0)); srv.listen(1)
gaps = []
def agent():
    s = socket.create_connection(srv.getsockname()); got = 0; last = None
    while got < size:
        b = s.recv(65536)
        now = time.monotonic()
        if last is not None: gaps.append(now - last)
        last = now; got += len(b)
t = threading.Thread(target=agent); t.start()
conn, _ = srv.accept(); conn.setblocking(False)
time.sleep(1.0)   # idle first: the message starts from a rested connection, as after a pause
data = b"2" + b"x" * (size - 1); sent = 0; t0 = time.monotonic()
while sent < size:
    select.select([], [conn], [])
    try: sent += conn.send(data[sent:])
    except BlockingIOError: pass
t.join(); took = time.monotonic() - t0
gaps.sort()
print(f"{size} bytes in {took*1000:.0f} ms over {len(gaps)+1} reads; longest silence {gaps[-1]*1000:.1f} ms, "
      f"99th percentile {gaps[int(len(gaps)*0.99)]*1000:.1f} ms, median {gaps[len(gaps)//2]*1000:.2f} ms")
