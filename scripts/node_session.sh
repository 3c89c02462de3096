# Sourced by demo.sh and soak.sh (after they set bin, the build folder): a scratch folder that
# goes at exit with every process listed in pids, instance 1's settings for a KPC-3 on COM1,
# and smsd with sample mail on a free port of 127.0.0.1.
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

write_settings() { # write_settings PASSWORD [KEY=VALUE...]
    printf '%s\n' "[Client1]" CommPort=1 TNCType=KPC3 Flow=NONE MBOCall=N0CALL "Password=$1" \
        IPAddress=127.0.0.1 IPType=True Initialized=True "${@:2}" \
        > "$XDG_CONFIG_HOME/gullwick/SMS.ini"
}

start_smsd() { # start_smsd PASSWORD LOG; sets smsd (its pid) and port
    "$bin/tools/smsd/smsd" --port 0 --db "$work/smsd.sqlite" --node "N0CALL:$1" --seed 2> "$2" &
    smsd=$!
    pids+=("$smsd")
    for _ in $(seq 100); do grep -q "listening on" "$2" && break; sleep 0.1; done
    port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$2" | head -n 1)
    [ -n "$port" ] || { echo "smsd did not start:"; cat "$2"; exit 1; }
}
