#!/usr/bin/env bash
# Builds the libFuzzer reader target with clang + ASan/UBSan and runs it briefly.
#   scripts/fuzz-smoke.sh [SECONDS]      (default 20)
# New inputs go to build-fuzz/corpus; the committed seeds in fuzz/corpus are only read.
# A finding leaves a crash-*/timeout-*/oom-* file in build-fuzz/findings and exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
build=build-fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DMIRUTONE_SANITIZE=ON -DMIRUTONE_FUZZ=ON \
  -DMIRUTONE_UI=OFF -DMIRUTONE_TESTS=OFF -DMIRUTONE_BENCH=OFF >/dev/null
ninja -C "$build" -j2 fuzz_reader

mkdir -p "$build/corpus" "$build/findings"
"$build/fuzz/fuzz_reader" "$build/corpus" fuzz/corpus \
  -max_total_time="$seconds" -max_len=262144 -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$build/findings/" -print_final_stats=1
