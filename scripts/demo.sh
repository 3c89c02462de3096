#!/usr/bin/env bash
# The node end to end on this machine: installs what is missing, builds, then runs smsd (the
# reference short-message server, with sample mail), tncsim (a simulated KPC-3 on a
# pseudo-terminal) and brevane headless, and prints a radio user's session as the user sees it.
#   bash scripts/demo.sh                 a scripted user lists, reads, sends, kills, logs off
#   bash scripts/demo.sh --interactive   you are the radio user (type /connect N1CALL first)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}
bash scripts/deps.sh
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGULLWICK_TESTS=OFF > /dev/null
cmake --build build-demo -j"$(nproc)" --target brevane smsd tncsim > /dev/null
bin=$PWD/build-demo

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2> /dev/null || true; done
    wait 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME/gullwick"
cat > "$XDG_CONFIG_HOME/gullwick/SMS.ini" << 'INI'
[Client1]
CommPort=1
TNCType=KPC3
Flow=NONE
MBOCall=N0CALL
Password=DEMO
IPAddress=127.0.0.1
Initialized=True
INI

# The server on a free port of 127.0.0.1.
"$bin/tools/smsd/smsd" --port 0 --db "$work/smsd.sqlite" --node N0CALL:DEMO --seed 2> "$work/smsd.log" &
pids+=($!)
for _ in $(seq 100); do grep -q "listening on" "$work/smsd.log" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$work/smsd.log" | head -n 1)
[ -n "$port" ] || { echo "smsd did not start:"; cat "$work/smsd.log"; exit 1; }

# The radio user's terminal: what the node sends (CR ends a line) and what the user types.
show_session() {
    awk -v typed="${1:-1}" '
        /^1A <<< / { s = substr($0, 8); gsub(/\\r/, "\n", s); printf "%s", s; fflush(); next }
        /^1A >>> / { if (typed) { s = substr($0, 8); sub(/\\r$/, "", s); printf "%s\n", s; fflush() }; next }
        /^1A connect / { printf "*** %s\n", substr($0, 4); fflush(); next }
        /^1A disconnected by node/ { printf "\n*** disconnected\n"; fflush(); next }'
}

# Stops the node the way a service manager does, then shows its log.
finish() {
    sleep 0.5
    kill "$viewer" 2> /dev/null || true
    kill -TERM "$node"
    wait "$node" 2> /dev/null || true
    echo "=== The node's log ==="
    cat "$XDG_DATA_HOME"/gullwick/N0CALL_1_*.log
}

start_node() {
    for _ in $(seq 100); do grep -qs " as " "$work/tncsim.log" && break; sleep 0.1; done
    GULLWICK_SMS_PORT=$port "$bin/node/app/brevane" --headless 1 > "$work/node.log" 2>&1 &
    node=$!
    pids+=($node)
}

if [ "$mode" = "--interactive" ]; then
    echo "You are radio user N1CALL on stream 1/A. Type /connect N1CALL, then LM, R 1,"
    echo "SP N0CALL, H, B...; /disconnect drops the link; Ctrl-D ends the demo."
    mkfifo "$work/keyboard"
    "$bin/tools/tncsim/tncsim" --type KPC3 --link-com 1 --interactive 1A < "$work/keyboard" \
        > "$work/tncsim.log" 2>&1 &
    pids+=($!)
    exec 3> "$work/keyboard"
    start_node
    tail -n +1 -f "$work/tncsim.log" > >(show_session 0) &
    viewer=$!
    cat >&3
    exec 3>&-
    finish
    exit 0
fi

cat > "$work/user.script" << 'SCRIPT'
1A connect N1CALL
1A expect SMS> 30
1A send LM
1A expect SMS> 30
1A send R 1
1A expect SMS> 30
1A send SP N0CALL
1A expect : 30
1A send Antenna party
1A expect /EX 30
1A send I will bring the coax.
1A send 73 de N1CALL
1A send /EX
1A expect SMS> 30
1A send K 2
1A expect SMS> 30
1A send B
1A expect-disconnect 30
SCRIPT
"$bin/tools/tncsim/tncsim" --type KPC3 --link-com 1 --script "$work/user.script" > "$work/tncsim.log" 2>&1 &
pids+=($!)
start_node

echo "=== Radio user N1CALL on a simulated KPC-3 (node N0CALL, server on 127.0.0.1:$port) ==="
tail -n +1 -f "$work/tncsim.log" > >(show_session) &
viewer=$!
for _ in $(seq 600); do grep -q "1A expect-disconnect ok\|FAILED" "$work/tncsim.log" && break; sleep 0.1; done
finish
! grep -q "FAILED" "$work/tncsim.log"
