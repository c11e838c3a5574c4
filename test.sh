#!/usr/bin/env bash
# Builds Keelpack and runs every test: the normal build first, then a second build with
# AddressSanitizer and UndefinedBehaviorSanitizer that runs the core tests and short fuzzing
# runs. Installs what is missing on a Debian machine first.
#   ./test.sh                  everything
#   ./test.sh --no-sanitize    only the normal build (quicker while working)
#   ./test.sh -R pattern       only the tests whose names match (passed on to ctest)
set -euo pipefail
cd "$(dirname "$0")"

sanitize=1
ctest_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --no-sanitize) sanitize=0 ;;
    *) ctest_args+=("$1") ;;
  esac
  shift
done

scripts/ensure-deps.sh
jobs=$(nproc)

[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs" "${ctest_args[@]}"

if [ "$sanitize" = 1 ]; then
  [ -f build-asan/build.ninja ] || CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja \
    -DCMAKE_BUILD_TYPE=Debug -DKEELPACK_SANITIZE=ON -DKEELPACK_FUZZ=ON \
    -DKEELPACK_BUILD_UI=OFF -DKEELPACK_BUILD_BENCH=OFF
  cmake --build build-asan -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs" -L 'core|fuzz' "${ctest_args[@]}"
fi
