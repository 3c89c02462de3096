#!/usr/bin/env bash
# The node end to end on this machine: installs what is missing, builds, then runs smsd (the
# reference short-message server, with sample mail), tncsim (a simulated KPC-3 on a
# pseudo-terminal) and brevane headless, and prints a radio user's session as the user sees it.
#   bash scripts/demo.sh                 a scripted user lists, reads, sends, kills, logs off
#   bash scripts/demo.sh --interactive   you are the radio user (type /connect N1CALL first),
#                                        and can watch the node's web page meanwhile
#   bash scripts/demo.sh --direwolf      the same session over two direwolf stations (a real
#                                        sound-card modem, type AGW) with direwolf's frame log
#   bash scripts/demo.sh --kiss          the same over direwolf's KISS port (type KISS): the
#                                        node runs the AX.25 link itself
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:-}
bash scripts/deps.sh
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGULLWICK_TESTS=OFF > /dev/null
cmake --build build-demo -j"$(nproc)" --target brevane smsd tncsim agw_audio_relay > /dev/null
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
# The node's web page on a free port, with a console password for the demo.
web_port=$(shuf -i 20000-49000 -n 1)
echo "WebPort=$web_port" >> "$XDG_CONFIG_HOME/gullwick/SMS.ini"
"$bin/node/app/brevane" --web-password 1 <<< 'demo web password' > /dev/null
source scripts/http.sh

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
    echo "The node's web page: http://127.0.0.1:$web_port/ (console password: demo web password)"
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

# Two direwolf stations joined by a simulated 1200-baud audio channel: N0CALL for the node
# (AGW), N1CALL for the radio user (tncsim's scripted user working it through its AGW port).
direwolf_station() { # folder call agw-port own-audio-port peer-audio-port [kiss-port]
    mkdir -p "$1"
    printf 'pcm.relay {\n  type file\n  slave.pcm "null"\n  file "|%s %s"\n  format "raw"\n}\n' \
        "$bin/tools/tncsim/agw_audio_relay" "$5" > "$1/.asoundrc"
    printf 'ADEVICE udp:%s relay\nACHANNELS 1\nCHANNEL 0\nMYCALL %s\nMODEM 1200\nAGWPORT %s\nKISSPORT %s\nFULLDUP ON\n' \
        "$4" "$2" "$3" "${6:-0}" > "$1/direwolf.conf"
    (cd "$1" && HOME="$1" exec direwolf -t 0 -c "$1/direwolf.conf" > "$1/direwolf.log" 2>&1) &
    pids+=($!)
    for _ in $(seq 100); do
        grep -qs "Ready to accept AGW" "$1/direwolf.log" &&
            { [ "${6:-0}" = 0 ] || grep -qs "Ready to accept KISS TCP" "$1/direwolf.log"; } && return 0
        sleep 0.1
    done
    echo "direwolf $2 did not start:"; cat "$1/direwolf.log"; exit 1
}
if [ "$mode" = "--direwolf" ] || [ "$mode" = "--kiss" ]; then
    command -v direwolf > /dev/null ||
        { echo "direwolf is not installed and could not be installed: no two-station demo."; exit 1; }
    read -r node_agw user_agw node_audio user_audio node_kiss <<< "$(shuf -i 20000-49000 -n 5 | tr '\n' ' ')"
    if [ "$mode" = "--kiss" ]; then
        # The node's station is a bare modem with a call of its own; the node answers N0CALL.
        direwolf_station "$work/n0call" N0TNC "$node_agw" "$node_audio" "$user_audio" "$node_kiss"
        sed -i 's/^TNCType=KPC3$/TNCType=KISS/' "$XDG_CONFIG_HOME/gullwick/SMS.ini"
        # Full duplex, as the stations' FULLDUP ON: the simulated channel needs no waiting.
        printf 'KISSAddress=127.0.0.1:%s\nKISSFullDuplex=True\n' "$node_kiss" \
            >> "$XDG_CONFIG_HOME/gullwick/SMS.ini"
        station="direwolf N0TNC (KISS) -> node N0CALL, its own AX.25"
    else
        direwolf_station "$work/n0call" N0CALL "$node_agw" "$node_audio" "$user_audio"
        sed -i 's/^TNCType=KPC3$/TNCType=AGW/' "$XDG_CONFIG_HOME/gullwick/SMS.ini"
        echo "AGWAddress=127.0.0.1:$node_agw" >> "$XDG_CONFIG_HOME/gullwick/SMS.ini"
        station="direwolf N0CALL -> node N0CALL (AGW)"
    fi
    direwolf_station "$work/n1call" N1CALL "$user_agw" "$user_audio" "$node_audio"
    cat > "$work/user.script" << 'SCRIPT'
1A connect N1CALL
1A expect SMS> 60
1A send LM
1A expect SMS> 60
1A send R 1
1A expect SMS> 60
1A send SP N0CALL
1A expect : 60
1A send Antenna party
1A expect /EX 60
1A send I will bring the coax.
1A send 73 de N1CALL
1A send /EX
1A expect SMS> 60
1A send B
1A expect-disconnect 60
SCRIPT
    GULLWICK_SMS_PORT=$port "$bin/node/app/brevane" --headless 1 > "$work/node.log" 2>&1 &
    node=$!
    pids+=($node)
    for _ in $(seq 100); do grep -qs "initialized @" "$XDG_DATA_HOME"/gullwick/N0CALL_1_*.log && break; sleep 0.1; done
    echo "=== Radio user N1CALL -> direwolf N1CALL ~~1200 baud~~ $station ==="
    echo "    (lines starting with | are the node station's own frame log)"
    tail -n 0 --pid="$node" -f "$work/n0call/direwolf.log" | grep --line-buffered -E '^\[0' |
        sed -u 's/^/  | /' &
    "$bin/tools/tncsim/tncsim" --type AGW --agw-client "127.0.0.1:$user_agw" --agw-node N0CALL \
        --script "$work/user.script" > "$work/tncsim.log" 2>&1 &
    pids+=($!)
    tail -n +1 -f "$work/tncsim.log" > >(show_session) &
    viewer=$!
    for _ in $(seq 1800); do grep -q "1A expect-disconnect ok\|FAILED" "$work/tncsim.log" && break; sleep 0.1; done
    sleep 2 # the node's station hears the user's last acknowledgement over the air
    finish
    ! grep -q "FAILED" "$work/tncsim.log"
    exit
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
echo
echo "=== The node's web page (http://127.0.0.1:$web_port/metrics) counted ==="
http_request "$web_port" GET /metrics | grep -E '^gullwick_(sessions|requests|radio_bytes)' ||
    echo "(no answer from the page)"
finish
! grep -q "FAILED" "$work/tncsim.log"
