#!/usr/bin/env bash
# The node over a KISS TNC (its own AX.25 link layer) against the node over AGW (direwolf's)
# on two direwolf stations joined by a simulated 1200-baud channel, without loss and with
# about one frame in ten lost; prints a table. A benchmark, not a test: it takes minutes.
#   bash scripts/bench_kiss.sh [runs] [drop]
# runs: of each session (default 2); drop: the relay's percentage of 10 ms audio pieces lost
# on the lossy channel (default 0.25, about one frame in ten).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGULLWICK_SANITIZE=ON > /dev/null
cmake --build build-asan -j"$(nproc)" --target bench_kiss_session > /dev/null
export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
build-asan/tests/e2e/bench_kiss_session "${1:-2}" "${2:-0.25}"
