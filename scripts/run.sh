#!/usr/bin/env bash
# Installs what is missing, builds, and runs the node (instance 1, or the instance given);
# headless where there is no display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build build -j"$(nproc)" --target brevane
exec ./build/node/app/brevane "${@:-1}"
