#!/usr/bin/env bash
# Installs what building and testing the project needs on Debian.
set -euo pipefail
# clang and libclang-rt-dev: the clang build and the libFuzzer targets;
# python3: the service-boundary check; sqlite3 and time: the converter's
# example and benchmark.
packages=(build-essential cmake googletest libgtest-dev libicu-dev libsqlite3-dev sqlite3
          libbenchmark-dev pkg-config clang libclang-rt-dev python3 time)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
