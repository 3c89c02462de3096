#!/usr/bin/env bash
# Builds every fuzz target with clang's libFuzzer + ASan + UBSan (in build-fuzz/) and fuzzes
# each in turn for the given seconds (default 60), growing its corpus in tests/fuzz/corpus/<target>/
# (found inputs are ignored by git; the named seeds are committed), with inputs up to the length
# the target chose in tests/fuzz/CMakeLists.txt. Prints executions, coverage and, for a crash or
# a broken property, the saved input and the report.
#   bash scripts/fuzz.sh [seconds] [target...]      FUZZ_KEEP_GOING=1 goes on after a crash,
#   FUZZ_RUNS=N also ends each target after N executions (whichever comes first)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true

bash scripts/deps.sh
missing=()
for p in clang libfuzzer-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi

build=build-fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
flags="-g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DGULLWICK_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
targets=("$@")
# The targets named, or all of them.
if [ ${#targets[@]} -gt 0 ]; then
  cmake --build "$build" -j"$jobs" --target "${targets[@]/#/fuzz_}"
else
  cmake --build "$build" --target fuzz_targets -j"$jobs"
fi

if [ ${#targets[@]} -eq 0 ]; then
  # Programs only: CMake keeps folders of its own (fuzz_*_autogen) beside them.
  for exe in "$build"/tests/fuzz/fuzz_*; do
    [ -f "$exe" ] && [ -x "$exe" ] && targets+=("${exe##*/fuzz_}")
  done
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/crashes" "$build/logs"
extra=()
[ "${FUZZ_KEEP_GOING:-0}" = 1 ] && extra=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
[ -n "${FUZZ_RUNS:-}" ] && extra+=(-runs="$FUZZ_RUNS")

status=0
printf '%-16s %12s %8s %8s %8s %8s  %s\n' target executions cov ft corpus max_len result
for t in "${targets[@]}"; do
  corpus=tests/fuzz/corpus/$t
  mkdir -p "$corpus"
  log=$build/logs/$t.log
  touch "$build/logs/$t.start"
  max_len=$(cat "$build/tests/fuzz/fuzz_$t.max_len")
  set +e
  "$build/tests/fuzz/fuzz_$t" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$build/crashes/$t-" "${extra[@]}" \
    >"$log" 2>&1
  rc=$?
  set -e
  # Plain runs end with final stats; runs that go on after a crash report "#N: cov: ...".
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1 || true)
  [ -n "$execs" ] || execs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#' || true)
  line=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  cov=$(sed -nE 's/.*cov: ([0-9]+).*/\1/p' <<<"$line")
  ft=$(sed -nE 's/.*ft: ([0-9]+).*/\1/p' <<<"$line")
  corp=$(find "$corpus" -type f | wc -l)
  found=$(find "$build/crashes" -name "$t-*" -newer "$build/logs/$t.start" | sort | tr '\n' ' ')
  result=ok
  if [ $rc -ne 0 ] || [ -n "$found" ]; then
    result="FAULT: ${found:-exit code $rc}"
    status=1
  fi
  printf '%-16s %12s %8s %8s %8s %8s  %s\n' "$t" "${execs:-?}" "${cov:-?}" "${ft:-?}" "$corp" \
    "$max_len" "$result"
  if [ "$result" != ok ]; then
    # What broke, and the stack frames in this project's code.
    grep -E 'property broken|ERROR: AddressSanitizer|runtime error|SUMMARY' "$log" | head -5 | sed 's/^/    /'
    grep -E '^ *#[0-9]+ .* in .*\.\./(node|tools|ping|tests)/' "$log" | head -8 | sed -E 's/ \(BuildId.*//; s/^ */      /'
    echo "    full report: $log; to see one input fail again: $build/tests/fuzz/fuzz_$t FILE"
  fi
done
exit $status
