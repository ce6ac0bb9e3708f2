#!/usr/bin/env bash
# Builds everything and runs every test headless, in three configurations:
# the plain build with warnings as errors, AddressSanitizer + UBSan, and
# ThreadSanitizer for the threaded code; then the serial port component alone
# cross-built for Windows (MinGW-w64) with its tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

run_config() {  # name, ctest args, cmake args...
  local dir=$1 ctest_args=$2
  shift 2
  echo "=== ${dir}: configure and build"
  cmake -S . -B "$dir" -DRIRIRED_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  echo "=== ${dir}: test"
  # shellcheck disable=SC2086
  (cd "$dir" && ctest --output-on-failure -j"$jobs" $ctest_args)
}

run_config build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_config build-asan "" -DCMAKE_BUILD_TYPE=Debug -DENABLE_ASAN=ON -DRIRIRED_BUILD_BENCH=OFF
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  run_config build-tsan "-L threads" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_TSAN=ON \
  -DRIRIRED_BUILD_BENCH=OFF
# Only the component and its tests: the Windows tree stays small.
run_config build-win64 "" --toolchain "$PWD/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRIRIRED_BUILD_PROGRAM=OFF -DRIRIRED_BUILD_GUI=OFF \
  -DRIRIRED_BUILD_BENCH=OFF -DRIRIRED_PACKAGE_TESTS=OFF
# Every parser of outside input under libFuzzer, 60 s each (clang, ASan+UBSan).
./scripts/run-fuzzers.sh
echo "=== all configurations passed"
