#!/usr/bin/env bash
# Builds Keelpack and starts the desktop program. Installs what is missing on a Debian
# machine first.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")"
root=$PWD

scripts/ensure-deps.sh
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"

if [ -x build/bin/keelpack ]; then
  # The window opens in the folder run.sh was started from.
  cd "$caller"
  exec "$root/build/bin/keelpack"
fi
echo "Built everything but the desktop window (KEELPACK_BUILD_UI is off). The command line is build/bin/keelpack-cli."
