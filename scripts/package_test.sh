#!/usr/bin/env bash
# Builds the Debian packages from a Release build, checks them with lintian, installs the
# headless node's package alone into this machine's root (it must need and link no widget or
# GUI library) and runs a radio user's session against the installed programs as the service
# user: smsd, tncsim as the AGW modem program, and brevane started as its unit starts it (same
# user, groups, capabilities and command line; systemd need not be running). Then it stops the
# node as systemd would (SIGTERM), adds the windows' package, enables an instance and purges
# both packages, on every way out. Needs root. Prints "N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "package_test.sh must run as root" >&2; exit 1; }
bash scripts/deps.sh
missing=()
command -v dpkg-shlibdeps >/dev/null || missing+=(dpkg-dev)
command -v lintian >/dev/null || missing+=(lintian)
if [ ${#missing[@]} -gt 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DGULLWICK_TESTS=OFF "${launcher[@]}"
cmake --build build-release -j"$(nproc)" --target package
deb=$(ls -t build-release/gullwick_*.deb | head -n1)
gui=$(ls -t build-release/gullwick-gui_*.deb | head -n1)

passed=0
failed=0
check() { # check DESCRIPTION COMMAND...
    if "${@:2}"; then passed=$((passed + 1)); echo "ok: $1"; else failed=$((failed + 1)); echo "FAILED: $1"; fi
}

check "lintian finds no error or warning" lintian --fail-on error,warning "$deb" "$gui"
# The overrides for GCC's overlapping pieces of constant data go unused when a build lays the
# texts out otherwise; that is no spelling error.
check "lintian finds no spelling error, even among its pedantic notes" bash -c \
    "! lintian --display-info --pedantic '$deb' '$gui' | grep -v unused-override | grep -i spelling"
depends=$(dpkg-deb -f "$deb" Depends)
echo "gullwick Depends: $depends"
check "the node's package needs no widget or GUI library" \
    bash -c "! grep -Eiq 'libqt6(widgets|gui)' <<<'$depends'"

if getent passwd gullwick >/dev/null; then
    echo "a gullwick user exists already: not touching this machine" >&2
    exit 1
fi
# The service user must reach the test's files; /tmp may be closed to other users.
work=$(mktemp -d -p /var/tmp gullwick-test.XXXXXX)
pids=()
# Whatever fails below, the machine is left as it was found.
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    dpkg --purge gullwick-gui gullwick >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
# The headless node alone, as a machine without a display has it.
dpkg -i "$deb"
home=/var/lib/gullwick
unit=/usr/lib/systemd/system/brevane@.service
for file in /usr/bin/brevane /usr/bin/smsd /usr/bin/tncsim /usr/bin/pingreg "$unit" \
    /usr/share/doc/gullwick/copyright /usr/share/doc/gullwick/changelog.gz \
    /usr/share/doc/gullwick/README.md /usr/share/gullwick/samples/banner.txt \
    /usr/share/gullwick/samples/KPC3.aps; do
    check "installed $file" test -e "$file"
done
check "no windows without their package" test ! -e /usr/libexec/gullwick/brevane-gui
check "libping.so in the package's private folder" \
    bash -c 'ls /usr/lib/*/gullwick/libping.so 2>/dev/null | grep -q .'
links_no_gui() { # links_no_gui FILE: every library found, none of widgets or GUI
    local libraries
    libraries=$(ldd "$1") && grep -q '=>' <<<"$libraries" &&
        ! grep -Ei 'libQt6(Widgets|Gui)|not found' <<<"$libraries"
}
names_no_build_folder() { # names_no_build_folder FILE: no run path, no path of this tree
    ! readelf -d "$1" | grep -Eiq 'rpath|runpath' && ! grep -aqF "$PWD/" "$1"
}
for program in /usr/bin/brevane /usr/bin/smsd /usr/bin/tncsim /usr/bin/pingreg \
    /usr/lib/*/gullwick/libping.so; do
    check "$program links no widget or GUI library" links_no_gui "$program"
    check "$program names no folder of the build" names_no_build_folder "$program"
done
check "user gullwick in dialout" bash -c 'id -nG gullwick | grep -qw dialout'
check "no shell start-up files in the service home" \
    bash -c "[ -d $home ] && [ -z \"\$(ls -A $home)\" ]"
check "unit runs the installed program" grep -q '^ExecStart=/usr/bin/brevane --headless %i$' "$unit"
check "unit verifies" systemd-analyze verify "$unit"
check "unit exposure 5.0 or below" bash -c \
    "systemd-analyze security --offline=yes --threshold=50 '$unit' | tail -n1 | grep ."

# The unit's user, group, capabilities and command line, as systemd would apply them.
value() { sed -n "s/^$1=//p" "$unit" | tail -n1; }
caps=$(value AmbientCapabilities | tr 'A-Z ' 'a-z,' | sed 's/cap_/+/g')
bounding=$(value CapabilityBoundingSet | tr 'A-Z ' 'a-z,' | sed 's/cap_/+/g')
command=$(value ExecStart | sed 's/%i/1/g')
# Both exec, so that a job started with them is the program itself, and a signal reaches it.
as_service() { # as_service PROGRAM ARGS...
    umask "$(value UMask)"
    exec setpriv --reuid="$(value User)" --regid="$(value Group)" --init-groups --no-new-privs \
        --inh-caps=-all,"$caps" --ambient-caps=-all,"$caps" --bounding-set=-all,"$bounding" \
        env -i HOME="$home" PATH=/usr/bin:/bin "$@"
}
as_user() { exec setpriv --reuid=gullwick --regid=gullwick --init-groups env -i HOME="$home" "$@"; }
chown gullwick: "$work"
await() { # await PATTERN FILE SECONDS
    for _ in $(seq $(($3 * 10))); do grep -qs -- "$1" "$2" && return 0; sleep 0.1; done
    return 1
}

# The server and the simulated modem program, each on a free port of 127.0.0.1.
as_user /usr/bin/smsd --port 0 --db "$work/smsd.sqlite" --node N0CALL:PKGTEST --seed \
    2>"$work/smsd.log" &
pids+=($!)
await "listening on" "$work/smsd.log" 10 || { cat "$work/smsd.log"; exit 1; }
sms_port=$(sed -n 's/.*listening on [0-9.]*:\([0-9]*\).*/\1/p' "$work/smsd.log" | head -n1)
# The node's page on a free port: another node may serve the default one on this machine.
web_port=
for port in $(shuf -i 20000-60000 -n 20); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { web_port=$port; break; }
done
[ -n "$web_port" ] || { echo "no free port for the web page" >&2; exit 1; }
cat >"$work/user.script" <<'SCRIPT'
1A connect N1CALL
1A expect IP connection verified. 30
1A expect SMS> 10
1A send LM
1A expect Antenna party 10
1A expect SMS> 10
1A send R 1
1A expect The club net starts at 20:00 10
1A expect SMS> 10
1A send SP N0CALL
1A expect : 10
1A send Packaged node
1A expect /EX 10
1A send Sent through the installed node.
1A send /EX
1A expect accepted! 10
1A expect SMS> 10
1A send B
1A expect-disconnect 10
SCRIPT
as_user /usr/bin/tncsim --type AGW --script "$work/user.script" --exit-when-done \
    >"$work/tncsim.log" 2>&1 &
pids+=($!)
await "tncsim AGW on" "$work/tncsim.log" 10 || { cat "$work/tncsim.log"; exit 1; }
agw_port=$(sed -n 's/^tncsim AGW on 127.0.0.1:\([0-9]*\)$/\1/p' "$work/tncsim.log")

install -d -o gullwick -g gullwick "$home/.config" "$home/.config/gullwick"
cat >"$home/.config/gullwick/SMS.ini" <<INI
[Client1]
CommPort=1
TNCType=AGW
AGWAddress=127.0.0.1:$agw_port
Flow=NONE
MBOCall=N0CALL
Password=PKGTEST
IPAddress=127.0.0.1
IPPort=$sms_port
WebPort=$web_port
Initialized=True
INI
chown gullwick: "$home/.config/gullwick/SMS.ini"

# The web console's password, set as an operator sets it for the service.
webpass=0
(as_user /usr/bin/brevane --web-password 1 <<<'package web pass') >"$work/webpass.log" 2>&1 ||
    webpass=$?
check "web password set as the service user" test "$webpass" -eq 0
# An instance without settings refuses to start; under systemd its reasons are errors.
refused=0
(as_service JOURNAL_STREAM=8:1 /usr/bin/brevane --headless 2) >/dev/null 2>"$work/refusal.log" ||
    refused=$?
check "an instance without settings ends with status 78" test "$refused" -eq 78
check "its reasons reach the journal as errors" bash -c \
    "grep -q 'MBOCall: Node Call Sign required' '$work/refusal.log' && ! grep -v '^<3>' '$work/refusal.log'"
# shellcheck disable=SC2086 # the unit's command line splits on blanks, as systemd splits it
as_service $command >"$work/node.log" 2>&1 &
node=$!
pids+=("$node")
check "node running as gullwick" bash -c "sleep 1; kill -0 $node"
check "radio user's session ran to its end" await "1A expect-disconnect ok" \
    "$work/tncsim.log" 60
check "every step of the session passed (IP verified, LM, R, SP, B)" \
    bash -c "! grep -q FAILED '$work/tncsim.log'"
mid=$(grep -o 'new MID SMS_[0-9A-Z]*' "$work/tncsim.log" | head -n1 | cut -d' ' -f3 || true)
stored=$(exec 3<>"/dev/tcp/127.0.0.1/$sms_port" && printf 'L|N0CALL|PKGTEST|N0CALL|\r\n' >&3 &&
    timeout 5 cat <&3 || true)
check "the sent message is stored" grep -q "$mid|.*|N1CALL|Packaged node" <<<"${mid:+$stored}"
# The installed node's page, read and logged in to as a browser would.
source scripts/http.sh
status_answer=$(http_request "$web_port" GET /api/status || true)
check "the page shows the session and its requests" bash -c \
    'grep -q "\"sessions\":1" <<<"$1" && grep -q "\"command\":\"send\",\"count\":1,\"outcome\":\"ok\"" <<<"$1"' \
    _ "$status_answer"
login_answer=$(http_request "$web_port" POST /api/login '{"password":"package web pass"}' \
    "Origin: http://127.0.0.1:$web_port" || true)
check "the console logs in with the password set" grep -q "^Set-Cookie: gw_session=" <<<"$login_answer"
logs=("$home"/.local/share/gullwick/N0CALL_1_*.log)
check "the node logged the sent message" grep -qs "MID : $mid Sent\." "${logs[@]}"
check "the node's log is its user's alone" test "$(stat -c %a "${logs[0]}")" = 600
start=$(date +%s%N)
kill -TERM "$node"
status=0
wait "$node" || status=$?
echo "SIGTERM to exit: $((($(date +%s%N) - start) / 1000000)) ms"
check "clean exit on SIGTERM" test "$status" -eq 0
check "heartbeat cleared" grep -q '^Active=0$' "$home/.config/gullwick/SMS.ini"
check "samples installed for the user" test -f "$home/.local/share/gullwick/banner.txt"
if [ "$failed" -ne 0 ]; then
    for file in node.log tncsim.log smsd.log refusal.log; do echo "=== $file"; cat "$work/$file"; done
    cat "${logs[@]}" 2>/dev/null || true
fi

# The windows join the node.
check "the windows' package installs beside the node's" dpkg -i "$gui"
for file in /usr/libexec/gullwick/brevane-gui /usr/share/applications/brevane.desktop \
    /usr/share/doc/gullwick-gui/copyright; do
    check "installed $file" test -e "$file"
done
check "the windows' program loads" /usr/libexec/gullwick/brevane-gui --version
check "the windows' program names no folder of the build" \
    names_no_build_folder /usr/libexec/gullwick/brevane-gui

# The same package again takes the upgrade path of its scripts: the user keeps its settings.
check "reinstall as an upgrade" dpkg -i "$deb"
check "settings kept across the upgrade" grep -q '^MBOCall=N0CALL$' "$home/.config/gullwick/SMS.ini"

# An instance enabled as an operator enables it; its link must go with the package.
systemctl enable brevane@1.service >/dev/null 2>&1 || true
link=/etc/systemd/system/multi-user.target.wants/brevane@1.service
check "instance enabled" test -L "$link"
for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
wait 2>/dev/null || true
pids=()
dpkg --purge gullwick-gui gullwick
check "programs removed" test ! -e /usr/bin/brevane -a ! -e /usr/libexec/gullwick
check "enable link removed" test ! -L "$link"
check "user removed" bash -c '! getent passwd gullwick >/dev/null'
check "home removed" test ! -e "$home"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
