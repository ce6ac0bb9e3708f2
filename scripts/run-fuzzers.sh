#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (AddressSanitizer + UBSan)
# and runs each for FUZZ_SECONDS (60 by default) from its seed corpus in
# fuzz/corpus/<name>/. Fails on the first crash, leak, time-out or memory
# blow-up; the input that caused it is left in <build>/artifacts/.
# New inputs found during a run go to a scratch copy, not into the repo.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=$(nproc)

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRIRIRED_WERROR=ON -DRIRIRED_BUILD_FUZZERS=ON -DRIRIRED_BUILD_GUI=OFF \
  -DRIRIRED_BUILD_TESTS=OFF -DRIRIRED_BUILD_BENCH=OFF >/dev/null

names=()
for src in fuzz/*_fuzzer.cpp; do
  names+=("$(basename "$src" .cpp)")
done
cmake --build "$build" -j"$jobs" --target "${names[@]}"

mkdir -p "$build/artifacts"
for fuzzer in "${names[@]}"; do
  name=${fuzzer%_fuzzer}
  scratch="$build/corpus/$name"
  rm -rf "$scratch" && mkdir -p "$scratch"
  echo "=== fuzz: $name for ${seconds}s"
  if ! "$build/fuzz/$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
      "$scratch" "fuzz/corpus/$name" >"$build/$name.log" 2>&1; then
    tail -n 60 "$build/$name.log"
    echo "=== fuzz: $name FAILED; input in $build/artifacts/" >&2
    exit 1
  fi
  grep -E "stat::number_of_executed_units|cov:" "$build/$name.log" | tail -n 2
done
echo "=== fuzz: all ${#names[@]} fuzzers ran ${seconds}s without a fault"
