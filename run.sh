#!/usr/bin/env bash
# Builds Keelpack and starts the desktop program. Installs what is missing on a Debian
# machine first.
set -euo pipefail
cd "$(dirname "$0")"

scripts/ensure-deps.sh
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

if [ -x build/bin/keelpack ]; then
  exec build/bin/keelpack
fi
echo "Built everything; the desktop window does not exist yet. The command line is build/bin/keelpack-cli."
