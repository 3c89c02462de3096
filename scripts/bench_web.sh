#!/usr/bin/env bash
# What the web server costs the headless node: brevane's CPU with the server idle and with 20
# clients polling /api/status, and the status answer time while 10 radio users keep the node
# busy. A benchmark run by hand on a non-sanitized build, not a test:
#   scripts/bench_web.sh build-rel [SECONDS]
set -euo pipefail

build=${1:?usage: $0 BUILD_DIR [SECONDS]}
seconds=${2:-60}
brevane=$build/node/app/brevane
tncsim=$build/tools/tncsim/tncsim
smsd=$build/tools/smsd/smsd
for program in "$brevane" "$tncsim" "$smsd"; do
  [ -x "$program" ] || { echo "missing: $program (build brevane, tncsim and smsd)" >&2; exit 2; }
done

work=$(mktemp -d /tmp/gw-bench-web.XXXXXX)
pids=()
stop_all() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  pids=()
}
smsd_pid=
trap 'stop_all; [ -z "$smsd_pid" ] || kill "$smsd_pid" 2>/dev/null; rm -rf "$work"' EXIT

export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$XDG_CONFIG_HOME/gullwick" "$XDG_DATA_HOME/gullwick"
web_port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
status_url=http://127.0.0.1:$web_port/api/status
ticks=$(getconf CLK_TCK)

"$smsd" --port 0 --db :memory: --node N0CALL:SECRET --seed 2>"$work/smsd.log" &
smsd_pid=$!
for _ in $(seq 100); do
  grep -q "listening on 127.0.0.1:" "$work/smsd.log" && break
  sleep 0.1
done
export GULLWICK_SMS_PORT
GULLWICK_SMS_PORT=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/smsd.log" | head -1)
[ -n "$GULLWICK_SMS_PORT" ] || { echo "smsd did not start" >&2; exit 1; }

cat >"$XDG_CONFIG_HOME/gullwick/SMS.ini" <<EOF
[Client1]
CommPort=1
TNCType=KPC3
Flow=NONE
MBOCall=N0CALL
Password=SECRET
IPAddress=127.0.0.1
IPType=True
Initialized=True
WebServer=True
WebAddress=127.0.0.1
WebPort=$web_port
EOF

# The simulated TNC with `script`, then the node; returns when the status answers.
start_node() {
  "$tncsim" --type KPC3 --link-com 1 --script "$1" --start-after 500 >"$work/tncsim.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do
    grep -q " as " "$work/tncsim.log" && break
    sleep 0.1
  done
  "$brevane" --headless 1 >"$work/brevane.log" 2>&1 &
  node_pid=$!
  pids+=("$node_pid")
  for _ in $(seq 300); do
    curl -sf -o /dev/null "$status_url" && return 0
    sleep 0.1
  done
  echo "the node's web server did not answer; its output:" >&2
  cat "$work/brevane.log" >&2
  exit 1
}

# brevane's CPU time in clock ticks (user + system).
cpu_ticks() {
  sed 's/^.*) //' "/proc/$node_pid/stat" | awk '{print $12 + $13}'
}

# CPU share of one core over `seconds`, as a percentage.
measure_cpu() {
  local before after
  before=$(cpu_ticks)
  sleep "$seconds"
  after=$(cpu_ticks)
  python3 -c "print(f'{100 * ($after - $before) / $ticks / $seconds:.2f}')"
}

: >"$work/idle.script"
start_node "$work/idle.script"
sleep 3 # the TNC's start-up is over
echo "(a) idle, web server on, no client, ${seconds} s: brevane CPU $(measure_cpu) %"

python3 - "$status_url" "$seconds" >"$work/clients.txt" <<'EOF' &
# 20 clients, each on its own kept-alive connection, asking for the status once a second.
import http.client, sys, threading, time, urllib.parse
url, seconds = urllib.parse.urlsplit(sys.argv[1]), float(sys.argv[2])
failures, answers, lock = [0], [0], threading.Lock()
def client():
    connection = http.client.HTTPConnection(url.hostname, url.port, timeout=10)
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        started = time.monotonic()
        try:
            connection.request("GET", url.path)
            response = connection.getresponse()
            response.read()
            ok = response.status == 200
        except (OSError, http.client.HTTPException):
            ok = False
            connection.close()
            connection = http.client.HTTPConnection(url.hostname, url.port, timeout=10)
        with lock:
            answers[0] += ok
            failures[0] += not ok
        time.sleep(max(0.0, 1.0 - (time.monotonic() - started)))
threads = [threading.Thread(target=client) for _ in range(20)]
for t in threads: t.start()
for t in threads: t.join()
print(f"{answers[0]} answers, {failures[0]} failures")
EOF
clients_pid=$!
sleep 1
echo "(b) 20 clients polling /api/status every second, ${seconds} s: brevane CPU $(measure_cpu) %"
wait "$clients_pid"
echo "    clients: $(cat "$work/clients.txt")"
stop_all

# Ten users on streams A..J listing their messages over and over.
calls=(N1CALL N2CALL N3CALL N4CALL N5CALL N6CALL N7CALL N8CALL N9CALL N0BUSY)
streams=(A B C D E F G H I J)
for i in "${!calls[@]}"; do
  user=1${streams[$i]}
  echo "$user connect ${calls[$i]}"
  echo "$user expect SMS> 60"
  for _ in $(seq 400); do
    echo "$user send LM"
    echo "$user expect SMS> 30"
    echo "$user wait 200"
  done
done >"$work/busy.script"
start_node "$work/busy.script"
for _ in $(seq 600); do
  [ "$(grep -c " connect " "$work/tncsim.log")" -ge 10 ] && break
  sleep 0.1
done
sleep 3 # every user has his first list on its way
python3 - "$status_url" <<'EOF'
# ~200 status requests, 100 ms apart, each on a new connection as a phone's browser might.
import json, statistics, sys, time, urllib.request
times, streams, lists = [], 0, 0
for _ in range(200):
    started = time.monotonic()
    with urllib.request.urlopen(sys.argv[1], timeout=10) as answer:
        status = json.loads(answer.read())
    times.append((time.monotonic() - started) * 1000)
    streams = max(streams, len(status["streams"]))
    lists = sum(r["count"] for r in status["counters"]["requests"] if r["command"] == "list")
    time.sleep(0.1)
print(f"(c) /api/status with 10 radio users active, {len(times)} requests: "
      f"median {statistics.median(times):.2f} ms, max {max(times):.2f} ms")
print(f"    users connected at most {streams}; lists served by the end {lists}")
EOF
failed=$(grep -c "FAILED" "$work/tncsim.log" || true)
echo "    radio users' failed expectations: $failed"
