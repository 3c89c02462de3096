#!/usr/bin/env bash
# A long run of the whole node: brevane headless with smsd and tncsim (a KPC-3 whose radio
# users connect, list, read, send, kill and leave in a loop on every stream), sampling the RSS,
# CPU and open descriptors of brevane and smsd every 10 s into a CSV and drawing them (PNG).
# Fails when an expected answer is missing, when a process dies, when RSS grows more than 5 %
# after the warm-up (5 minutes, or half of a shorter run), or when descriptors grow.
#   bash scripts/soak.sh [minutes] [users]        (defaults 60 and 10; output in build-soak/)
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-60}
users=${2:-10}
[ "$users" -ge 1 ] && [ "$users" -le 10 ] || { echo "users: 1 to 10 (the streams of one port)"; exit 2; }
interval=10

bash scripts/deps.sh
dpkg-query -W -f='${Status}' gnuplot-nox 2>/dev/null | grep -q "install ok installed" ||
  dpkg-query -W -f='${Status}' gnuplot 2>/dev/null | grep -q "install ok installed" || {
  echo "Installing: gnuplot-nox"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq gnuplot-nox
}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-soak -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGULLWICK_TESTS=OFF "${launcher[@]}" >/dev/null
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
cmake --build build-soak -j"$jobs" --target brevane smsd tncsim >/dev/null
bin=$PWD/build-soak

out=$bin/soak-$(date -u +%Y%m%dT%H%M%SZ)
mkdir -p "$out"
source scripts/node_session.sh
# The web page off: the soak measures the radio side and leaves the page's port alone.
write_settings SOAK WebServer=False
start_smsd SOAK "$out/smsd.log"

# Each user: a session of list, read, send to the next user, kill and bye, over and over.
letters=ABCDEFGHIJ
cycles=$(( minutes * 6 + 2 ))
for (( u = 0; u < users; u++ )); do
  s=${letters:u:1}
  to=${letters:$(( (u + 1) % users )):1}
  echo "1$s wait $(( u * 700 ))"
  for (( c = 0; c < cycles; c++ )); do
    printf '%s\n' "1$s connect W1S$s" "1$s expect SMS> 120" "1$s send LM" "1$s expect SMS> 120" \
      "1$s send R 1" "1$s expect SMS> 120" "1$s send SP W1S$to" "1$s expect : 120" \
      "1$s send Soak $c from W1S$s" "1$s expect /EX 120" "1$s send Line one of message $c." \
      "1$s send Line two, 73." "1$s send /EX" "1$s expect SMS> 120" "1$s send K 1" \
      "1$s expect SMS> 120" "1$s send B" "1$s expect-disconnect 120" "1$s wait 2000"
  done
done >"$work/users.script"

"$bin/tools/tncsim/tncsim" --type KPC3 --link-com 1 --script "$work/users.script" >"$out/tncsim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -qs " as " "$out/tncsim.log" && break; sleep 0.1; done
GULLWICK_SMS_PORT=$port "$bin/node/app/brevane" --headless 1 >"$out/brevane.log" 2>&1 &
node=$!
pids+=($node)

ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0; }
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo 0; }
fds() { ls "/proc/$1/fd" 2>/dev/null | wc -l; }
count() { grep -c -- "$1" "$out/tncsim.log" || true; }
# Errors: an expected answer that did not come, or a failure the node reported to a user.
errors() { grep -c -i -e "expect FAILED" -e "<<< .*error" "$out/tncsim.log" || true; }

csv=$out/soak.csv
echo "seconds,brevane_rss_kb,brevane_cpu_pct,brevane_fds,smsd_rss_kb,smsd_cpu_pct,smsd_fds,sessions,answers,errors" >"$csv"
echo "soak: $minutes min, $users users, samples every ${interval}s in $csv"
start=$(date +%s)
last_node=$(cpu_ticks $node) last_smsd=$(cpu_ticks $smsd) last=$start
died=""
tick=0
while :; do
  tick=$(( tick + 1 ))
  pause=$(( start + tick * interval - $(date +%s) ))
  [ $pause -le 0 ] || sleep $pause
  now=$(date +%s)
  for p in $node $smsd; do kill -0 "$p" 2>/dev/null || died="$died $p"; done
  [ -z "$died" ] || break
  n=$(cpu_ticks $node) m=$(cpu_ticks $smsd)
  span=$(( now - last ))
  row="$(( now - start )),$(rss_kb $node),$(awk -v d=$(( n - last_node )) -v t="$ticks" -v s="$span" 'BEGIN { printf "%.2f", 100 * d / t / s }'),$(fds $node)"
  row="$row,$(rss_kb $smsd),$(awk -v d=$(( m - last_smsd )) -v t="$ticks" -v s="$span" 'BEGIN { printf "%.2f", 100 * d / t / s }'),$(fds $smsd)"
  row="$row,$(count 'expect-disconnect ok'),$(count 'expect ok'),$(errors)"
  echo "$row" >>"$csv"
  last_node=$n last_smsd=$m last=$now
  [ $(( now - start )) -lt $(( minutes * 60 )) ] || break
done

# Stop as a service manager does; the node writes its closing log line.
kill -TERM $node 2>/dev/null || true
wait $node 2>/dev/null || true

gnuplot <<PLOT
set terminal pngcairo size 1100,1000 noenhanced
set output "$out/soak.png"
set datafile separator ","
set key autotitle columnhead left top
set xlabel "minutes"
set grid
set multiplot layout 4,1 title "brevane + smsd soak: $minutes min, $users users"
set ylabel "RSS (MiB)"
plot "$csv" using (\$1/60):(\$2/1024) with lines lw 2 title "brevane", "" using (\$1/60):(\$5/1024) with lines lw 2 title "smsd"
set ylabel "CPU (%)"
plot "$csv" using (\$1/60):3 with lines title "brevane", "" using (\$1/60):6 with lines title "smsd"
set ylabel "open descriptors"
plot "$csv" using (\$1/60):4 with steps lw 2 title "brevane", "" using (\$1/60):7 with steps lw 2 title "smsd"
set ylabel "count"
plot "$csv" using (\$1/60):8 with lines lw 2 title "sessions", "" using (\$1/60):9 with lines lw 2 title "answers", "" using (\$1/60):10 with lines lw 2 title "errors"
unset multiplot
PLOT

# The verdict. Warm-up: the first 5 minutes, or the first half of a shorter run.
warmup=$(( minutes * 60 < 600 ? minutes * 30 : 300 ))
verdict=$(awk -F, -v warm="$warmup" '
  NR == 1 { next }
  { t[++n] = $1; for (c = 2; c <= 10; c++) v[n, c] = $c }
  END {
    if (n < 4) { print "FAIL too few samples"; exit }
    for (i = 1; i <= n && t[i] < warm; i++) ;
    b = i > n ? n : i                                   # first sample after the warm-up
    split("2 5", rssCols, " "); split("4 7", fdCols, " "); split("brevane smsd", who, " ")
    fail = ""
    for (k = 1; k <= 2; k++) {
      c = rssCols[k]; base = 0; m = 0
      for (i = b; i < b + 3 && i <= n; i++) { base += v[i, c]; m++ }
      base /= m; last = (v[n, c] + v[n - 1, c] + v[n - 2, c]) / 3
      growth = 100 * (last - base) / base
      printf "%s RSS %.1f MiB after warm-up, %.1f MiB at the end (%+.1f %%)\n", who[k], base / 1024, last / 1024, growth
      if (growth > 5) fail = fail " " who[k] "-rss"
      c = fdCols[k]; early = 1e9; late = 1e9
      for (i = 1; i <= b; i++) if (v[i, c] < early) early = v[i, c]
      for (i = int(n * 3 / 4); i <= n; i++) if (v[i, c] < late) late = v[i, c]
      printf "%s descriptors: %d at least until warm-up end, %d at least in the last quarter\n", who[k], early, late
      if (late > early) fail = fail " " who[k] "-fds"
      cpu = 0; for (i = 1; i <= n; i++) cpu += v[i, c - 1]
      printf "%s CPU: %.2f %% on average\n", who[k], cpu / n
    }
    printf "sessions %d, answers %d, errors %d\n", v[n, 8], v[n, 9], v[n, 10]
    if (v[n, 10] > 0) fail = fail " missing-answers"
    if (v[n, 8] == 0) fail = fail " no-sessions"
    # Still answering at the end: answers grew over the last quarter.
    if (v[n, 9] <= v[int(n * 3 / 4), 9]) fail = fail " stopped-answering"
    print (fail == "" ? "PASS" : "FAIL" fail)
  }' "$csv")
echo "$verdict"
[ -z "$died" ] || { echo "FAIL: a process died (pid$died); see $out"; exit 1; }
grep -m 3 -i -e "expect FAILED" -e "<<< .*error" "$out/tncsim.log" || true
echo "plot: $out/soak.png   data: $csv   logs: $out/"
[ "$(tail -n 1 <<<"$verdict")" = PASS ]
