#!/usr/bin/env bash
# Builds the Debian package from a Release build, installs it into this machine's root,
# runs instance 1 headless as the gullwick user for a few seconds, stops it as systemd
# would (SIGTERM) and purges the package again. Needs root. Prints "N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "package_test.sh must run as root" >&2; exit 1; }
bash scripts/deps.sh
command -v dpkg-shlibdeps >/dev/null || apt-get install -y dpkg-dev
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DGULLWICK_TESTS=OFF
cmake --build build-release -j"$(nproc)" --target package
deb=$(ls -t build-release/gullwick_*.deb | head -n1)

passed=0
failed=0
check() { # check DESCRIPTION COMMAND...
    if "${@:2}"; then passed=$((passed + 1)); echo "ok: $1"; else failed=$((failed + 1)); echo "FAILED: $1"; fi
}

if getent passwd gullwick >/dev/null; then
    echo "a gullwick user exists already: not touching this machine" >&2
    exit 1
fi
dpkg -i "$deb"
# Whatever fails below, the machine is left as it was found.
trap 'dpkg --purge gullwick >/dev/null 2>&1 || true' EXIT
home=/var/lib/gullwick
for file in /usr/bin/brevane /usr/bin/smsd /usr/bin/tncsim /usr/bin/pingreg \
    /usr/lib/systemd/system/brevane@.service /usr/share/applications/brevane.desktop \
    /usr/share/gullwick/samples/banner.txt /usr/share/gullwick/samples/KPC3.aps; do
    check "installed $file" test -e "$file"
done
check "installed libping.so" bash -c 'ls /usr/lib/*/libping.so /usr/lib/libping.so 2>/dev/null | grep -q .'
check "user gullwick in dialout" bash -c 'id -nG gullwick | grep -qw dialout'
check "unit runs the installed program" grep -q '^ExecStart=/usr/bin/brevane --headless %i$' \
    /usr/lib/systemd/system/brevane@.service

log=$(mktemp)
# setpriv execs the node itself (runuser would stand between it and the signal).
setpriv --reuid=gullwick --regid=gullwick --init-groups \
    env -i HOME="$home" PATH=/usr/bin:/bin /usr/bin/brevane --headless 1 >"$log" 2>&1 &
node=$!
sleep 3
check "node running as gullwick" kill -0 "$node"
start=$(date +%s%N)
kill -TERM "$node"
status=0
wait "$node" || status=$?
stopped_ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "SIGTERM to exit: ${stopped_ms} ms"
check "clean exit on SIGTERM" test "$status" -eq 0
check "heartbeat cleared" grep -q '^Active=0$' "$home/.config/gullwick/SMS.ini"
check "samples installed for the user" test -f "$home/.local/share/gullwick/banner.txt"
cat "$log"
rm -f "$log"

dpkg --purge gullwick
check "program removed" test ! -e /usr/bin/brevane
check "user removed" bash -c '! getent passwd gullwick >/dev/null'
check "home removed" test ! -e "$home"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
