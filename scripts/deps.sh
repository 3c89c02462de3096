#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, only those missing.
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config qt6-base-dev libmicrohttpd-dev
          libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev sqlite3 iproute2 util-linux procps)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}"
fi
# The sound-card modem for the two-station radio test and demo; without it (no package
# source reachable) those are skipped, and the rest still works.
if ! dpkg-query -W -f='${Status}' direwolf 2>/dev/null | grep -q "install ok installed"; then
  echo "Installing: direwolf"
  export DEBIAN_FRONTEND=noninteractive
  { apt-get update -qq && apt-get install -y -qq direwolf; } ||
    echo "direwolf could not be installed: the two-station radio test and demo are skipped"
fi
# A headless browser for the web page's test; without it (no package source reachable) that
# test is skipped, and the rest still works.
browser=()
for p in chromium chromium-driver python3-selenium; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || browser+=("$p")
done
if [ ${#browser[@]} -gt 0 ]; then
  echo "Installing: ${browser[*]}"
  export DEBIAN_FRONTEND=noninteractive
  { apt-get update -qq && apt-get install -y -qq "${browser[@]}"; } ||
    echo "${browser[*]} could not be installed: the web page's browser test is skipped"
fi
